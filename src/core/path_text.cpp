#include "path_text.h"

namespace quorvale {

namespace {

#ifdef _WIN32
constexpr std::string_view kSeparators = "\\/";
constexpr char kJoiningSeparator = '\\';
#else
constexpr std::string_view kSeparators = "/";
constexpr char kJoiningSeparator = '/';
#endif

// `path` with each separator the joining one, a repeated one once, and on Windows the ASCII
// letters in lower case.
std::string ComparablePath(std::string_view path) {
  std::string out;
  for (char c : path) {
    if (kSeparators.find(c) != std::string_view::npos) {
      if (!out.empty() && out.back() == kJoiningSeparator) continue;
      c = kJoiningSeparator;
    }
#ifdef _WIN32
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
#endif
    out += c;
  }
  return out;
}

// Just past the last separator; 0 when there is none.
size_t FolderPartLength(std::string_view path) {
  const size_t cut = path.find_last_of(kSeparators);
  return cut == std::string_view::npos ? 0 : cut + 1;
}

}  // namespace

std::string_view FolderPartOf(std::string_view path) { return path.substr(0, FolderPartLength(path)); }

std::string_view FileNameOf(std::string_view path) { return path.substr(FolderPartLength(path)); }

std::string FolderOf(std::string_view path) {
  const size_t length = FolderPartLength(path);
  if (length == 0) return ".";
  return std::string(path.substr(0, length == 1 ? 1 : length - 1));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && kSeparators.find(path.back()) == std::string_view::npos) path += kJoiningSeparator;
  path += name;
  return path;
}

bool SamePath(std::string_view a, std::string_view b) { return ComparablePath(a) == ComparablePath(b); }

}  // namespace quorvale
