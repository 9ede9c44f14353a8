// Parses arbitrary bytes as a plain list of domain names.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/domain_parser.h"
#include "core/session.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  quorvale::Session session;
  session.ResetRejectedLines();
  quorvale::ParseDomainListData(data, session, [] {});
  FUZZ_CHECK(session.redirected.empty());
  FUZZ_CHECK(session.EntriesLoaded >= 0 && static_cast<size_t>(session.EntriesLoaded) >= session.blocked.size());
  FUZZ_CHECK(!session.RejectedLines.empty());
  const quorvale::EntryList& list = session.blocked;
  for (size_t row = 0; row < list.size(); ++row) {
    std::string_view name = list.Name(row);
    FUZZ_CHECK(name.size() >= 4 && name.size() <= 128);
    FUZZ_CHECK(name.find_first_of(" \t#[]\r\n") == std::string_view::npos);
    FUZZ_CHECK(list.Address(row) == "127.0.0.1");
    std::string_view description = list.Description(row);
    FUZZ_CHECK(description.empty() || (description[0] == '#' && description != "#"));
    if (row > 0) FUZZ_CHECK(list.Name(row - 1) < name);
  }
  return 0;
}
