#include "text.h"

#include <cstring>

namespace quorvale {

bool HasLetter(std::string_view text) {
  for (char c : text) {
    if (c >= 'a' && c <= 'z') return true;
  }
  return false;
}

bool IsDottedQuad(std::string_view text) {
  if (text.find('.') == std::string_view::npos) return false;
  if (text.size() < 7 || text.size() > 15) return false;
  int parts = 0;
  size_t start = 0;
  while (true) {
    size_t dot = text.find('.', start);
    std::string_view part = text.substr(start, dot == std::string_view::npos ? text.npos : dot - start);
    if (++parts > 4) return false;
    if (part.empty() || part.size() > 3) return false;
    int value = 0;
    for (char c : part) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    if (value > 255) return false;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return parts == 4;
}

bool IsHexGroups(std::string_view text) {
  char separator;
  if (text.find(':') != std::string_view::npos) {
    separator = ':';
  } else if (text.find('.') != std::string_view::npos) {
    separator = '.';
  } else {
    return false;
  }
  int parts = 1;
  int group_length = 0;
  for (char c : text) {
    if (c == separator) {
      ++parts;
      group_length = 0;
      continue;
    }
    if (++group_length > 4) return false;
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return parts >= 4 && parts <= 9;
}

void AsciiLowerInPlace(std::string& text) {
  for (char& c : text) c = AsciiLower(c);
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  AsciiLowerInPlace(out);
  return out;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::string_view TrimSpaces(std::string_view text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

}  // namespace quorvale
