#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "status.h"

namespace quorvale {

// Reads a text file item by item, the way every input of the program is read:
// - an item ends at a comma, at CR, LF or CR LF, or at the end of the data; the delimiter is
//   consumed and is not part of the item;
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

// Reads a whole file into `out` (replacing its contents).
Status ReadFileBytes(const std::string& path, std::string* out);

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
};

// Data already in memory, as one piece.
class WholeData : public LinePieces {
 public:
  explicit WholeData(std::string_view data) : data_(data) {}
  bool Next(std::string_view* piece) override;
  uint64_t size_hint() const override { return data_.size(); }

 private:
  std::string_view data_;
  bool given_ = false;
};

// A file on disk.
class FilePieces : public LinePieces {
 public:
  explicit FilePieces(size_t piece_bytes = size_t{1} << 20) : piece_bytes_(piece_bytes) {}
  ~FilePieces() override;
  FilePieces(const FilePieces&) = delete;
  FilePieces& operator=(const FilePieces&) = delete;

  // Opens the file, with the same refusals as ReadFileBytes (a folder is refused).
  Status Open(const std::string& path);
  bool Next(std::string_view* piece) override;
  Status status() const override { return status_; }
  uint64_t size_hint() const override { return size_; }

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  size_t piece_bytes_;
  std::string buffer_;
  size_t carried_from_ = 0;  // the start of the unfinished line after the last piece
  size_t used_ = 0;          // bytes of buffer_ holding file data
  bool at_eof_ = false;
  uint64_t size_ = 0;
  Status status_;
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
