#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvale {

// How many fresh names a write tries before it gives up on finding a free one.
inline constexpr int kTempNameAttempts = 100;

// A new name for the temporary file of a write to `path`, in the same folder:
// "<folder>.<name>.XXXXXX", with six random letters and digits. The name part is cut so that
// the whole file name stays within `name_max` bytes. Every call gives other letters; the
// caller creates the file exclusively and asks again when the name is taken.
std::string TempNameBeside(std::string_view path, size_t name_max = std::string::npos);

}  // namespace quorvale
