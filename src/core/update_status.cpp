#include "core/update_status.h"

#include <algorithm>
#include <charconv>

#include "core/text.h"

namespace quorvale {

namespace {

constexpr std::string_view kSchemeEnd = "://";
constexpr char kFieldEnd = '\t';
constexpr std::string_view kNoEntries = "-";
constexpr char kLineEnd = '\n';

// `text` with each tab or control character made a space, so that it stays in its field.
std::string OneField(std::string_view text) {
  std::string field(text);
  for (char& c : field) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = ' ';
  }
  return field;
}

bool ReadNumber(std::string_view text, std::int64_t* value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string AddressWithoutCredentials(std::string_view address) {
  const size_t scheme_end = address.find(kSchemeEnd);
  if (scheme_end == std::string_view::npos) return std::string(address);
  const size_t host = scheme_end + kSchemeEnd.size();
  const std::string_view authority = address.substr(host, address.find_first_of("/?#", host) - host);
  const size_t at = authority.rfind('@');
  if (at == std::string_view::npos) return std::string(address);
  return std::string(address.substr(0, host)) + std::string(address.substr(host + at + 1));
}

std::string FormatUpdateStatus(const std::vector<SourceStatus>& statuses) {
  std::string text;
  for (const SourceStatus& status : statuses) {
    text += std::to_string(status.time) + kFieldEnd;
    text += (status.entries < 0 ? std::string(kNoEntries) : std::to_string(status.entries)) + kFieldEnd;
    text += OneField(AddressWithoutCredentials(status.address)) + kFieldEnd;
    text += OneField(status.outcome);
    text += kLineEnd;
  }
  return text;
}

std::vector<SourceStatus> ParseUpdateStatus(std::string_view text) {
  std::vector<SourceStatus> statuses;
  TextLines lines(text, TextLines::LastCr::kDropped);
  for (std::string_view line; lines.Next(&line);) {
    // The outcome, last, takes the rest of the line.
    std::string_view fields[4];
    for (int i = 0; i < 3; ++i) {
      const size_t cut = std::min(line.find(kFieldEnd), line.size());
      fields[i] = line.substr(0, cut);
      line.remove_prefix(std::min(cut + 1, line.size()));
    }
    fields[3] = line;
    SourceStatus status;
    if (!ReadNumber(fields[0], &status.time) || fields[2].empty()) continue;
    if (fields[1] != kNoEntries && (!ReadNumber(fields[1], &status.entries) || status.entries < 0)) continue;
    status.address.assign(fields[2]);
    status.outcome.assign(fields[3]);
    statuses.push_back(std::move(status));
  }
  return statuses;
}

const SourceStatus* FindSourceStatus(const std::vector<SourceStatus>& statuses, std::string_view address) {
  const std::string key = OneField(AddressWithoutCredentials(address));
  for (const SourceStatus& status : statuses) {
    if (status.address == key) return &status;
  }
  return nullptr;
}

void KeepLatestStatuses(std::vector<SourceStatus>* statuses, const std::vector<SourceStatus>& newer) {
  for (const SourceStatus& status : newer) {
    const auto known = std::find_if(statuses->begin(), statuses->end(),
                                    [&](const SourceStatus& old) { return old.address == status.address; });
    if (known == statuses->end()) {
      statuses->push_back(status);
    } else if (known->time < status.time) {
      *known = status;
    }
  }
}

}  // namespace quorvale
