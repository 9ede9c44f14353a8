#pragma once

// Paths are bytes in this program (UTF-8 on Windows, where they become UTF-16 at each call
// to the system); they are split and joined here and nowhere else. std::filesystem::path is
// not used for this: built with MinGW it turns a narrow string into UTF-16 through the ANSI
// code page and back, which is not byte for byte.
// The separators are the system's: "/" on POSIX; "\" and "/" on Windows, which joins with "\".

#include <string>
#include <string_view>

namespace quorvale {

// The folder part of a path as written: up to and including its last separator, "" when it
// has none. FolderPartOf(p) + FileNameOf(p) == p.
std::string_view FolderPartOf(std::string_view path);

// What follows the last separator; the whole path when it has none.
std::string_view FileNameOf(std::string_view path);

// The folder a path is in, as a path of its own: FolderPartOf without the trailing
// separator, the separator itself for a path right under the root ("/hosts" gives "/"), and
// "." for a bare name.
std::string FolderOf(std::string_view path);

// `name` in `folder`, with one separator between them (none added when `folder` ends with
// one or is empty).
std::string JoinPath(std::string_view folder, std::string_view name);

// Whether two paths are written alike as this system compares paths: a repeated separator
// counts once; on Windows "/" is "\" and the case of ASCII letters is ignored.
bool SamePath(std::string_view a, std::string_view b);

}  // namespace quorvale
