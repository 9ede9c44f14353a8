#include "utf16.h"

#include <algorithm>

namespace quorvale {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;
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

void Utf16Decoder::Unit(uint32_t unit, std::string* out) {
  if (high_half_ != 0) {
    if (IsLowSurrogate(unit)) {
      AppendUtf8(0x10000 + ((high_half_ - 0xD800) << 10) + (unit - 0xDC00), out);
      high_half_ = 0;
      return;
    }
    AppendUtf8(kReplacement, out);
    high_half_ = 0;
  }
  if (IsHighSurrogate(unit)) {
    high_half_ = unit;
    return;
  }
  AppendUtf8(IsLowSurrogate(unit) ? kReplacement : unit, out);
}

void Utf16Decoder::Decode(std::string_view bytes, bool last, std::string* out) {
  auto unit_of = [this](unsigned char first, unsigned char second) {
    return form_ == Form::kLittleEndian ? first | (uint32_t{second} << 8) : (uint32_t{first} << 8) | second;
  };
  size_t i = 0;
  if (odd_byte_ >= 0 && !bytes.empty()) {
    Unit(unit_of(static_cast<unsigned char>(odd_byte_), static_cast<unsigned char>(bytes[0])), out);
    odd_byte_ = -1;
    i = 1;
  }
  for (; i + 1 < bytes.size(); i += 2) {
    Unit(unit_of(static_cast<unsigned char>(bytes[i]), static_cast<unsigned char>(bytes[i + 1])), out);
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

}  // namespace quorvale
