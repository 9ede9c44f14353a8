#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvale {

// True when the text holds one of the lower-case letters "a" to "z". Upper-case and accented
// letters do not count.
bool HasLetter(std::string_view text);
// The same with the upper-case letters "A" to "Z" counting too.
bool HasLetterOfEitherCase(std::string_view text);

// Dotted IPv4 shape: four parts of 1 to 3 ASCII digits, each 0 to 255, 7 to 15 characters.
bool IsDottedQuad(std::string_view text);

// 4 to 9 groups of at most 4 lower-case hexadecimal digits separated by ":" (or, when the
// text has no ":", by "."); empty groups are allowed.
bool IsHexGroups(std::string_view text);

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Lower-cases ASCII A-Z only; every other byte is kept.
void AsciiLowerInPlace(std::string& text);
void AsciiLowerInPlace(char* text, size_t size);
// The same, with every tab made a space.
void AsciiLowerTabsToSpaces(char* text, size_t size);
std::string AsciiLower(std::string_view text);

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);
// Whether `needle` occurs in `text`, ignoring ASCII case (an empty needle always does).
bool ContainsIgnoreAsciiCase(std::string_view text, std::string_view needle);

// Removes the space character (never tabs) from both ends.
std::string_view TrimSpaces(std::string_view text);

// Splits a line's rest into the name, the text before the first "#" without the trailing
// `blanks`, and the comment, from the "#" to the end ("" when there is no "#").
void SplitNameAndComment(std::string_view text, std::string_view blanks, std::string_view* name,
                         std::string_view* comment);

// The lines of a text, split at LF; a CR right before the LF is no part of its line. A last
// line without LF is a line too: "" holds no line, "a" and "a\n" one, "a\n\n" two.
class TextLines {
 public:
  // What becomes of a CR that ends the text, on a last line without LF.
  enum class LastCr { kKept, kDropped };

  TextLines(std::string_view text, LastCr last_cr) : rest_(text), last_cr_(last_cr) {}

  // Gives the next line, without its end; false when no line is left.
  bool Next(std::string_view* line);

 private:
  std::string_view rest_;
  LastCr last_cr_;
};

// The end of the text's first line: "\r\n" or "\n"; "\r\n" when no line of it ends.
std::string_view FirstLineEnd(std::string_view text);

inline bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace quorvale
