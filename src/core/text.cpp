#include "text.h"

namespace quorvale {

bool HasLetter(std::string_view text) {
  for (char c : text) {
    if (c >= 'a' && c <= 'z') return true;
  }
  return false;
}

bool HasLetterOfEitherCase(std::string_view text) {
  for (char c : text) {
    const char lower = AsciiLower(c);
    if (lower >= 'a' && lower <= 'z') return true;
  }
  return false;
}

bool IsDottedQuad(std::string_view text) {
  if (text.size() < 7 || text.size() > 15) return false;
  // One pass: four parts of 1 to 3 digits, each at most 255, separated by single dots.
  int parts = 0;
  int digits = 0;
  int value = 0;
  for (char c : text) {
    if (c == '.') {
      if (digits == 0 || ++parts > 3) return false;
      digits = 0;
      value = 0;
    } else if (c >= '0' && c <= '9') {
      if (++digits > 3) return false;
      value = value * 10 + (c - '0');
      if (value > 255) return false;
    } else {
      return false;
    }
  }
  return parts == 3 && digits > 0;
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

void AsciiLowerInPlace(char* text, size_t size) {
  for (size_t i = 0; i < size; ++i) text[i] = AsciiLower(text[i]);
}

void AsciiLowerInPlace(std::string& text) { AsciiLowerInPlace(text.data(), text.size()); }

void AsciiLowerTabsToSpaces(char* text, size_t size) {
  for (size_t i = 0; i < size; ++i) text[i] = text[i] == '\t' ? ' ' : AsciiLower(text[i]);
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

bool ContainsIgnoreAsciiCase(std::string_view text, std::string_view needle) {
  if (needle.empty()) return true;
  if (needle.size() > text.size()) return false;
  const char first = AsciiLower(needle[0]);
  for (size_t at = 0; at + needle.size() <= text.size(); ++at) {
    if (AsciiLower(text[at]) == first && EqualsIgnoreAsciiCase(text.substr(at, needle.size()), needle)) return true;
  }
  return false;
}

void SplitNameAndComment(std::string_view text, std::string_view blanks, std::string_view* name,
                         std::string_view* comment) {
  *name = text;
  *comment = {};
  size_t hash = text.find('#');
  if (hash == std::string_view::npos) return;
  *comment = text.substr(hash);
  size_t last = text.substr(0, hash).find_last_not_of(blanks);
  *name = last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

bool TextLines::Next(std::string_view* line) {
  if (rest_.empty()) return false;
  const size_t end = rest_.find('\n');
  *line = rest_.substr(0, end);
  rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
  if ((end != std::string_view::npos || last_cr_ == LastCr::kDropped) && line->ends_with('\r')) {
    line->remove_suffix(1);
  }
  return true;
}

std::string_view FirstLineEnd(std::string_view text) {
  const size_t end = text.find('\n');
  return end != std::string_view::npos && (end == 0 || text[end - 1] != '\r') ? "\n" : "\r\n";
}

std::string_view TrimSpaces(std::string_view text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

}  // namespace quorvale
