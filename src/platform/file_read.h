#pragma once

#include <string>

#include "core/item_reader.h"
#include "core/status.h"
#include "platform/platform.h"

// Reads of files by name, through Platform::OpenSequentialFile: whole, or a piece at a time.

namespace quorvale {

// What a read hands out: the file's text (a UTF-16 file decoded to UTF-8, anything else as
// it is), or its bytes exactly as stored (for a copy).
enum class ReadAs { kText, kBytes };

// Reads a whole file into `out` (replacing its contents); on failure `out` is empty.
Status ReadFileBytes(Platform& platform, const std::string& path, std::string* out, ReadAs as = ReadAs::kText,
                     InputKinds kinds = InputKinds::kRegularFiles);

// Opens the file at `path` as `pieces`, which reads it a piece at a time.
Status OpenPieces(Platform& platform, const std::string& path, InputKinds kinds, FilePieces* pieces);

}  // namespace quorvale
