// Loads arbitrary bytes as a domain-only file into the sort buffer, then sorts it and writes
// it as a HOSTS file, as the "Trier" and save commands do.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/domain_parser.h"
#include "core/hosts_writer.h"
#include "support/list_rows.h"
#include "core/sort_buffer.h"
#include "core/sorting.h"
#include "core/text.h"
#include "core/utf16.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  quorvale::SortBuffer buffer;
  buffer.Append("kept.example.com");
  quorvale::Status status = quorvale::LoadDomainOnlyData(data, buffer);
  std::string decoded;
  const std::string_view text = quorvale::DecodeIfUtf16(data, &decoded) ? std::string_view(decoded) : data;
  const bool nothing = text.empty() || text == "\xEF\xBB\xBF";
  FUZZ_CHECK(status.ok() != nothing);
  FUZZ_CHECK(status.ok() || status.code() == quorvale::ErrorCode::kEmpty);
  FUZZ_CHECK(!buffer.empty() && buffer[0] == "kept.example.com");
  for (const std::string& entry : quorvale::testing::Entries(buffer)) {
    FUZZ_CHECK(quorvale::AsciiLower(entry) == entry);
    FUZZ_CHECK(entry.find_first_of("\r\n") == std::string::npos);
  }
  quorvale::SortAndDeduplicate(buffer);
  std::string out;
  quorvale::FormatHostsFromArray(buffer, {"0.0.0.0", true}, "01/01/70 00:00:00", &out);
  FUZZ_CHECK(out.ends_with("\r\n"));
  return 0;
}
