#pragma once

#include <cstddef>
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
  // The reader views `data`, which must outlive it.
  explicit ItemReader(std::string_view data);

  // Returns false, leaving `item` empty, when nothing is left to read.
  bool Next(std::string_view* item);
  bool AtEnd() const { return pos_ >= data_.size(); }

 private:
  std::string_view data_;
  size_t pos_ = 0;
  // Position of the next LF at or after pos_ once known (0: not searched yet).
  size_t next_newline_ = 0;
};

// Reads a whole file into `out` (replacing its contents).
Status ReadFileBytes(const std::string& path, std::string* out);

}  // namespace quorvale
