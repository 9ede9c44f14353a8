#include "utf16.h"

#include <algorithm>

namespace quorvale {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;
// What NextCodePoint gives for a sequence that is not well-formed.
constexpr uint32_t kMalformed = 0xFFFFFFFF;
constexpr std::string_view kLittleEndianMark = "\xFF\xFE";
constexpr std::string_view kBigEndianMark = "\xFE\xFF";

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf8(uint32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// Appends the text of one UTF-16 code unit. A high surrogate waits in `*high_half` (0 when
// none) for the low one that follows it.
void AppendUnit(uint32_t unit, uint32_t* high_half, std::string* out) {
  if (*high_half != 0) {
    if (IsLowSurrogate(unit)) {
      AppendUtf8(0x10000 + ((*high_half - 0xD800) << 10) + (unit - 0xDC00), out);
      *high_half = 0;
      return;
    }
    AppendUtf8(kReplacement, out);
    *high_half = 0;
  }
  if (IsHighSurrogate(unit)) {
    *high_half = unit;
    return;
  }
  AppendUtf8(IsLowSurrogate(unit) ? kReplacement : unit, out);
}

// The code point that the UTF-8 at the start of `text` (not empty) encodes, and in
// `*length` how many bytes it takes. A sequence that is cut short, overlong, a surrogate or
// past U+10FFFF is kMalformed over its longest well-formed start (at least one byte).
uint32_t NextCodePoint(std::string_view text, size_t* length) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  *length = 1;
  if (lead < 0x80) return lead;
  size_t needed = 0;
  uint32_t code = 0;
  // The range of the second byte; continuation bytes after it are 80..BF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    needed = 1;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    needed = 2;
    code = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    needed = 3;
    code = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return kMalformed;
  }
  for (size_t i = 1; i <= needed; ++i) {
    if (i >= text.size() || byte(i) < low || byte(i) > high) return kMalformed;
    code = (code << 6) | (byte(i) & 0x3F);
    *length = i + 1;
    low = 0x80;
    high = 0xBF;
  }
  return code;
}

}  // namespace

size_t Utf16Decoder::Detect(std::string_view head) {
  odd_byte_ = -1;
  high_half_ = 0;
  form_ = Form::kBytes;
  if (head.starts_with(kLittleEndianMark)) {
    form_ = Form::kLittleEndian;
    return kLittleEndianMark.size();
  }
  if (head.starts_with(kBigEndianMark)) {
    form_ = Form::kBigEndian;
    return kBigEndianMark.size();
  }
  // Text of the first lines, nearly always ASCII: the high byte of each code unit is NUL.
  const size_t size = std::min(head.size(), kSniffBytes) & ~size_t{1};
  if (size == 0) return 0;
  bool little = true;
  bool big = true;
  for (size_t i = 0; i < size; i += 2) {
    const bool first_nul = head[i] == '\0';
    const bool second_nul = head[i + 1] == '\0';
    little = little && !first_nul && second_nul;
    big = big && first_nul && !second_nul;
  }
  if (little) form_ = Form::kLittleEndian;
  if (big) form_ = Form::kBigEndian;
  return 0;
}

void Utf16Decoder::Decode(std::string_view bytes, bool last, std::string* out) {
  auto append = [&](unsigned char first, unsigned char second) {
    AppendUnit(form_ == Form::kLittleEndian ? first | (uint32_t{second} << 8) : (uint32_t{first} << 8) | second,
               &high_half_, out);
  };
  size_t i = 0;
  if (odd_byte_ >= 0 && !bytes.empty()) {
    append(static_cast<unsigned char>(odd_byte_), static_cast<unsigned char>(bytes[0]));
    odd_byte_ = -1;
    i = 1;
  }
  for (; i + 1 < bytes.size(); i += 2) {
    append(static_cast<unsigned char>(bytes[i]), static_cast<unsigned char>(bytes[i + 1]));
  }
  if (i < bytes.size()) odd_byte_ = static_cast<unsigned char>(bytes[i]);
  if (!last) return;
  if (high_half_ != 0) AppendUtf8(kReplacement, out);
  if (odd_byte_ >= 0) AppendUtf8(kReplacement, out);
  high_half_ = 0;
  odd_byte_ = -1;
}

bool DecodeIfUtf16(std::string_view data, std::string* out) {
  Utf16Decoder decoder;
  const size_t mark = decoder.Detect(data.substr(0, Utf16Decoder::kSniffBytes));
  if (!decoder.active()) return false;
  out->clear();
  // Mostly ASCII: about one byte out for two in.
  out->reserve(data.size() / 2);
  decoder.Decode(data.substr(mark), true, out);
  return true;
}

std::u16string Utf16FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  while (!text.empty()) {
    size_t length = 0;
    uint32_t code = NextCodePoint(text, &length);
    text.remove_prefix(length);
    if (code == kMalformed) code = kReplacement;
    if (code < 0x10000) {
      out.push_back(static_cast<char16_t>(code));
    } else {
      out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    }
  }
  return out;
}

std::string Utf8FromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  uint32_t high_half = 0;
  for (char16_t unit : text) AppendUnit(unit, &high_half, &out);
  if (high_half != 0) AppendUtf8(kReplacement, &out);
  return out;
}

bool IsWellFormedUtf8(std::string_view text) {
  while (!text.empty()) {
    size_t length = 0;
    if (NextCodePoint(text, &length) == kMalformed) return false;
    text.remove_prefix(length);
  }
  return true;
}

std::string Utf8FromWindows1252(std::string_view bytes) {
  // 0x80 to 0x9F; from 0xA0 on, a byte is the code point of the same value.
  static constexpr char16_t kHighControls[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    AppendUtf8(byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte, &out);
  }
  return out;
}

#ifdef _WIN32
std::wstring WideFromUtf8(std::string_view text) {
  const std::u16string units = Utf16FromUtf8(text);
  return std::wstring(units.begin(), units.end());
}

std::string Utf8FromWide(std::wstring_view text) { return Utf8FromUtf16(std::u16string(text.begin(), text.end())); }
#endif

}  // namespace quorvale
