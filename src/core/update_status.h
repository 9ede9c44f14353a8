#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What the last update made of each source, kept in a small text file that the Sources window
// reads when it opens, so that the outcome of a run nobody watched (the scheduled one) is seen.

namespace quorvale {

inline constexpr std::string_view kUpdateStatusFileName = "last-update.txt";

struct SourceStatus {
  std::string address;        // without the user and password a web address may carry
  std::int64_t time = 0;      // when the update ended, in seconds since 1970
  std::string outcome;        // as the update's line for the source says it
  std::int64_t entries = -1;  // what its copy gave to the lists; -1 when it gave nothing
};

// `address` without the "user:password@" of its authority (https://user:pw@host/x gives
// https://host/x); other addresses as they are.
std::string AddressWithoutCredentials(std::string_view address);

// One line per source, "TIME<tab>ENTRIES<tab>ADDRESS<tab>OUTCOME" (ENTRIES "-" when there are
// none), ending with "\n" as the cache's other records; a tab or a control character inside a field is written as a space.
// The reading skips the lines it cannot read.
std::string FormatUpdateStatus(const std::vector<SourceStatus>& statuses);
std::vector<SourceStatus> ParseUpdateStatus(std::string_view text);

// The status of the source written `address` in the sources file, or null.
const SourceStatus* FindSourceStatus(const std::vector<SourceStatus>& statuses, std::string_view address);

// `statuses` with each of `newer` in place of the one of its address when it is more recent.
void KeepLatestStatuses(std::vector<SourceStatus>* statuses, const std::vector<SourceStatus>& newer);

}  // namespace quorvale
