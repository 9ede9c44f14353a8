#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvale {

// Turns a file saved as UTF-16 (an editor's "Unicode") into the UTF-8 that the readers read;
// any other file is left as it is. The bytes may come in chunks of any size: a code unit or a
// surrogate pair cut between two chunks is put together again.
class Utf16Decoder {
 public:
  // How much of the start of a file Detect() looks at (less only when the file is shorter).
  static constexpr size_t kSniffBytes = 512;

  // Decides from the start of the file: a byte-order mark FF FE or FE FF, or, without one,
  // every other byte of `head` NUL and none of the rest. Returns the length of the mark,
  // which is no part of the text.
  size_t Detect(std::string_view head);
  // Whether the file is UTF-16 (otherwise Decode() is not to be called).
  bool active() const { return form_ != Form::kBytes; }

  // Appends the UTF-8 of the next `bytes` of the file (after the mark) to `out`. `last` says
  // that the file ends with them: an odd byte or a high surrogate left then becomes U+FFFD,
  // as does every surrogate that is not one half of a pair.
  void Decode(std::string_view bytes, bool last, std::string* out);

 private:
  enum class Form { kBytes, kLittleEndian, kBigEndian };

  Form form_ = Form::kBytes;
  int odd_byte_ = -1;       // the first byte of a cut code unit, -1 when none
  uint32_t high_half_ = 0;  // a high surrogate waiting for its low one, 0 when none
};

// When `data` (a whole file) is UTF-16, puts its UTF-8 in `out` and returns true; otherwise
// returns false and leaves `out` alone.
bool DecodeIfUtf16(std::string_view data, std::string* out);

// Paths and names are UTF-8 in the program and UTF-16 at the Windows calls. A byte that
// starts no well-formed UTF-8 sequence (or the longest well-formed start of one that breaks
// off) becomes U+FFFD, and so does a surrogate that is not one half of a pair.
std::u16string Utf16FromUtf8(std::string_view text);
std::string Utf8FromUtf16(std::u16string_view text);
// Whether `text` is well-formed UTF-8 throughout (no overlong form, surrogate or cut
// sequence); "" and ASCII are.
bool IsWellFormedUtf8(std::string_view text);
// Windows-1252 text as UTF-8. The five bytes that the code page leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) become the C1 controls of the same value, as Windows reads them.
std::string Utf8FromWindows1252(std::string_view bytes);
#ifdef _WIN32
// The same in the wchar_t strings of the Windows API, where wchar_t holds UTF-16.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);
#endif

}  // namespace quorvale
