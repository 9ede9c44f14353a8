#include "core/helper_outcome.h"

#include <charconv>
#include <vector>

namespace quorvale {

namespace {

constexpr char kSeparator = '\t';
constexpr size_t kFieldCount = 9;
constexpr int kLastErrorCode = static_cast<int>(ErrorCode::kBusy);
constexpr std::string_view kDnsWords[] = {"none", "flushed", "started", "not-done"};

void AppendField(std::string& line, std::string_view field) {
  if (!line.empty()) line += kSeparator;
  for (char c : field) {
    switch (c) {
      case '\t': line += "\\t"; break;
      case '\n': line += "\\n"; break;
      case '\r': line += "\\r"; break;
      case '\\': line += "\\\\"; break;
      default: line += c;
    }
  }
}

bool Unescape(std::string_view field, std::string* out) {
  out->clear();
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\') {
      *out += field[i];
      continue;
    }
    if (++i == field.size()) return false;
    switch (field[i]) {
      case 't': *out += '\t'; break;
      case 'n': *out += '\n'; break;
      case 'r': *out += '\r'; break;
      case '\\': *out += '\\'; break;
      default: return false;
    }
  }
  return true;
}

bool ParseNumber(std::string_view text, int low, int high, int* value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size() && *value >= low && *value <= high;
}

bool ParseStatus(std::string_view code, const std::string& subject, const std::string& reason, Status* status) {
  int number = 0;
  if (!ParseNumber(code, 0, kLastErrorCode, &number)) return false;
  *status = Status(static_cast<ErrorCode>(number), subject, reason);
  return true;
}

}  // namespace

std::string FormatHelperOutcome(const HelperOutcome& outcome) {
  std::string line;
  AppendField(line, std::to_string(outcome.exit_code));
  AppendField(line, outcome.failed_step);
  AppendField(line, std::to_string(static_cast<int>(outcome.failure.code())));
  AppendField(line, outcome.failure.subject());
  AppendField(line, outcome.failure.reason());
  AppendField(line, kDnsWords[static_cast<int>(outcome.dns)]);
  AppendField(line, std::to_string(static_cast<int>(outcome.dns_why.code())));
  AppendField(line, outcome.dns_why.subject());
  AppendField(line, outcome.dns_why.reason());
  return line + '\n';
}

bool ParseHelperOutcome(std::string_view line, HelperOutcome* outcome) {
  if (line.ends_with('\n')) line.remove_suffix(1);
  std::vector<std::string> fields;
  while (true) {
    const size_t tab = line.find(kSeparator);
    fields.emplace_back();
    if (!Unescape(line.substr(0, tab), &fields.back())) return false;
    if (tab == std::string_view::npos) break;
    line.remove_prefix(tab + 1);
  }
  if (fields.size() != kFieldCount) return false;
  HelperOutcome parsed;
  if (!ParseNumber(fields[0], 0, 255, &parsed.exit_code)) return false;
  parsed.failed_step = fields[1];
  if (!ParseStatus(fields[2], fields[3], fields[4], &parsed.failure)) return false;
  bool known = false;
  for (int kind = 0; kind < static_cast<int>(std::size(kDnsWords)); ++kind) {
    if (fields[5] != kDnsWords[kind]) continue;
    parsed.dns = static_cast<DnsCacheResult>(kind);
    known = true;
  }
  if (!known || !ParseStatus(fields[6], fields[7], fields[8], &parsed.dns_why)) return false;
  *outcome = std::move(parsed);
  return true;
}

std::string SchedulePieces(const std::string (&files)[kScheduledFileCount]) {
  std::string bytes;
  for (const std::string& file : files) bytes += std::to_string(file.size()) + "\n" + file;
  return bytes;
}

bool SplitSchedulePieces(std::string_view bytes, std::string (&files)[kScheduledFileCount]) {
  for (std::string& file : files) {
    const size_t line_end = bytes.find('\n');
    if (line_end == std::string_view::npos || line_end == 0) return false;
    size_t length = 0;
    const auto [end, error] = std::from_chars(bytes.data(), bytes.data() + line_end, length);
    if (error != std::errc() || end != bytes.data() + line_end) return false;
    bytes.remove_prefix(line_end + 1);
    if (length > bytes.size()) return false;
    file.assign(bytes.substr(0, length));
    bytes.remove_prefix(length);
  }
  return bytes.empty();
}

}  // namespace quorvale
