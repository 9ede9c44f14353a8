#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pieces.h"
#include "sequential_file.h"
#include "status.h"
#include "utf16.h"

namespace quorvale {

// Reads a text file item by item, the way every input of the program is read:
// - an item ends at a comma, at CR, LF or CR LF, or at the end of the data; the delimiter is
//   consumed and is not part of the item;
// - from the first "#" of an unquoted item on, the item runs to the end of the line: a
//   comment keeps its commas;
// - leading spaces and tabs are skipped; trailing spaces of an unquoted item are kept;
// - an item that begins with a double quote runs to the closing quote (commas inside belong
//   to it) or to the end of the line when the quote is never closed; whatever follows the
//   closing quote up to the delimiter is dropped;
// - NUL bytes are ordinary characters; a UTF-8 byte-order mark at the very start is skipped.
// AtEnd() becomes true once everything up to and including the last delimiter is consumed;
// reading when nothing is left (an empty file) fails.
class ItemReader {
 public:
  // The reader views `data`, which must outlive it. `at_start` says that `data` begins the
  // file (only there is a byte-order mark skipped).
  explicit ItemReader(std::string_view data, bool at_start = true);

  // Returns false, leaving `item` empty, when nothing is left to read.
  bool Next(std::string_view* item);
  bool AtEnd() const { return pos_ >= data_.size(); }

 private:
  std::string_view data_;
  size_t pos_ = 0;
  // Position of the next LF at or after pos_ once known (0: not searched yet).
  size_t next_newline_ = 0;
};

// `data` without the UTF-8 byte-order mark it may begin with.
std::string_view WithoutUtf8Bom(std::string_view data);

// A text file handed out a piece at a time, each piece whole lines: it ends just after an LF,
// but the last piece of the file. A big file is so read through a buffer of about a
// megabyte instead of being held whole.
class LinePieces {
 public:
  virtual ~LinePieces() = default;
  // The next piece, valid until the next call; false at the end or when reading failed.
  virtual bool Next(std::string_view* piece) = 0;
  // Why Next() gave false: Ok at the end of the file.
  virtual Status status() const { return Status::Ok(); }
  // The whole size when known (0 otherwise), to make room for what a load will hold.
  virtual uint64_t size_hint() const = 0;
  // Once the end is read: whether the file changed then from its opening, because another
  // program wrote or truncated it meanwhile (see SequentialFile::ChangedSinceOpened); what
  // was read may then be neither its old text nor its new one.
  virtual bool changed_while_read() const { return false; }
};

// Data already in memory (a whole file), as one piece of text: UTF-16 data is decoded.
class WholeData : public LinePieces {
 public:
  explicit WholeData(std::string_view data) : data_(data) {}
  bool Next(std::string_view* piece) override;
  Status status() const override { return status_; }
  uint64_t size_hint() const override { return data_.size(); }

 private:
  std::string_view data_;
  std::string decoded_;
  bool given_ = false;
  Status status_;
};

// A file or stream opened by the platform, handed out as text: a UTF-16 file is decoded as it
// is read.
class FilePieces : public LinePieces {
 public:
  explicit FilePieces(size_t piece_bytes = kPieceBytes) : piece_bytes_(piece_bytes) {}
  FilePieces(const FilePieces&) = delete;
  FilePieces& operator=(const FilePieces&) = delete;

  // Takes `file` and reads its start, which tells whether it is UTF-16; fails when that read
  // fails or memory runs out.
  Status Open(std::unique_ptr<SequentialFile> file);
  // Running out of memory ends the reading with kNoMemory.
  bool Next(std::string_view* piece) override;
  Status status() const override { return status_; }
  uint64_t size_hint() const override { return file_ == nullptr ? 0 : file_->size_hint(); }
  bool changed_while_read() const override { return changed_; }

 private:
  // Next() but for running out of memory.
  bool ReadPiece(std::string_view* piece);
  // Adds what comes next in the file to buffer_ after used_ (growing it when it is full);
  // false when reading failed.
  bool Fill();
  // Reads into `to`, noting the end of the file and whether it changed meanwhile once a read
  // comes short; false when reading failed.
  bool ReadMore(char* to, size_t room, size_t* got);

  std::unique_ptr<SequentialFile> file_;
  size_t piece_bytes_;
  std::string buffer_;
  size_t carried_from_ = 0;  // the start of the unfinished line after the last piece
  size_t used_ = 0;          // bytes of buffer_ holding text
  bool at_eof_ = false;
  bool changed_ = false;
  Status status_;
  Utf16Decoder decoder_;
  std::string raw_;  // UTF-16 bytes read and not yet decoded
  std::string decoded_;
};

// Hands every item of `pieces`, in order, to `treat`, as an ItemReader over the whole file
// would: the byte-order mark is skipped only at the very start and an empty file is one
// empty item. Each piece is first shown to `on_piece`.
template <typename PieceFn, typename TreatFn>
void ForEachItem(LinePieces& pieces, PieceFn&& on_piece, TreatFn&& treat) {
  std::string_view piece;
  bool first = true;
  while (pieces.Next(&piece)) {
    if (piece.empty()) continue;
    on_piece(piece);
    ItemReader reader(piece, first);
    first = false;
    do {
      std::string_view item;
      reader.Next(&item);
      treat(item);
    } while (!reader.AtEnd());
  }
  if (first) treat(std::string_view());
}

}  // namespace quorvale
