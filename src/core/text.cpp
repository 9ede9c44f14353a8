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

namespace {

// Eight bytes at a time through `change`, then the rest one by one through the same.
template <typename Change>
void EightAtATime(char* text, size_t size, Change change) {
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, text + i, 8);
    word = change(word);
    std::memcpy(text + i, &word, 8);
  }
  if (i < size) {
    uint64_t word = 0;
    std::memcpy(&word, text + i, size - i);
    word = change(word);
    std::memcpy(text + i, &word, size - i);
  }
}

// Tabs (0x09) become spaces (0x20) in eight bytes at once.
uint64_t TabsToSpaces(uint64_t x) {
  constexpr uint64_t kLow7 = 0x7f7f7f7f7f7f7f7full;
  const uint64_t t = x ^ 0x0909090909090909ull;                 // tabs become zero bytes
  const uint64_t zero = ~(((t & kLow7) + kLow7) | t) & ~kLow7;  // bit 7 of each zero byte
  return x ^ ((zero >> 7) * 0x29);                              // 0x09 ^ 0x29 == 0x20
}

}  // namespace

void AsciiLowerInPlace(char* text, size_t size) { EightAtATime(text, size, LowerEightBytes); }

void AsciiLowerInPlace(std::string& text) { AsciiLowerInPlace(text.data(), text.size()); }

void AsciiLowerTabsToSpaces(char* text, size_t size) {
  EightAtATime(text, size, [](uint64_t word) { return LowerEightBytes(TabsToSpaces(word)); });
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  AsciiLowerInPlace(out);
  return out;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  size_t i = 0;
  for (; i + 8 <= a.size(); i += 8) {
    uint64_t x;
    uint64_t y;
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (x != y && LowerEightBytes(x) != LowerEightBytes(y)) return false;
  }
  for (; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
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

std::string_view TrimSpaces(std::string_view text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

}  // namespace quorvale
