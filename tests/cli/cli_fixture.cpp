#include "cli_fixture.h"

#include <cstdlib>
#include <ctime>

#include "core/hosts_writer.h"
#include "platform/platform.h"

namespace quorvale::testing {

void CliTest::SetUpTestSuite() {
  setenv("SOURCE_DATE_EPOCH", kSourceDateEpoch, 1);
  setenv("LC_ALL", "C", 1);
  setenv("TZ", "UTC", 1);
  tzset();
  unsetenv("QUORVALE_SYSTEM_DIR");
}

namespace {

// The header's date as the program writes it.
std::string HeaderDate() { return CreateSystemPlatform()->LocalDateTimeText(); }

}  // namespace

std::string HostsFileBytes(const Session& session, bool www, std::string_view redirect, bool comments,
                           const std::vector<std::string>& carried_lines) {
  std::string out;
  FormatHostsFile(session, {std::string(redirect), www, comments, carried_lines}, HeaderDate(), &out);
  return out;
}

std::string SortedHostsBytes(const Session& session, bool www, std::string_view redirect) {
  std::string out;
  FormatHostsFromArray(session.SortArray, {std::string(redirect), www}, HeaderDate(), &out);
  return out;
}

std::string ExportBytes(const Session& session, bool comments) {
  std::string out;
  FormatDomainExport(session.blocked, {.include_comments = comments}, &out);
  return out;
}

std::string SortedNamesBytes(const Session& session) {
  std::string out;
  FormatSortedNames(session.SortArray, &out);
  return out;
}

}  // namespace quorvale::testing
