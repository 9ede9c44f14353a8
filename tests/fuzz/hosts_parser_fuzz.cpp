// Parses arbitrary bytes as a HOSTS file and checks the rows that come out: every name is one
// the parser's rules allow, each list holds the addresses it should, and the counts add up.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/hosts_parser.h"
#include "core/item_reader.h"
#include "core/session.h"
#include "core/text.h"
#include "core/utf16.h"
#include "fuzz_check.h"

namespace {

using quorvale::EntryList;

bool IsBlockAddress(std::string_view address) { return address == "127.0.0.1" || address == "0.0.0.0"; }

void CheckList(const EntryList& list, bool blocked) {
  for (size_t row = 0; row < list.size(); ++row) {
    std::string_view name = list.Name(row);
    FUZZ_CHECK(name.size() >= 4 && name.size() <= 128);
    FUZZ_CHECK(name.find_first_of(" \t#/\r\n") == std::string_view::npos);
    FUZZ_CHECK(name != "localhost");
    FUZZ_CHECK(quorvale::AsciiLower(name) == name);
    FUZZ_CHECK(!name.starts_with("www.") && !name.starts_with("http://") && !name.starts_with("https://"));
    FUZZ_CHECK(IsBlockAddress(list.Address(row)) == blocked);
    std::string_view description = list.Description(row);
    FUZZ_CHECK(description.empty() || (description[0] == '#' && description != "#"));
    FUZZ_CHECK(description.find('\t') == std::string_view::npos);
    // Display order is by name, ascending, without repeats.
    if (row > 0) FUZZ_CHECK(list.Name(row - 1) < name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  quorvale::Session session;
  session.ResetRejectedLines();
  size_t yields = 0;
  quorvale::ParseHostsData(data, session, [&yields] { ++yields; });
  CheckList(session.blocked, true);
  CheckList(session.redirected, false);

  size_t items = 0;
  std::string decoded;
  quorvale::ItemReader reader(quorvale::DecodeIfUtf16(data, &decoded) ? std::string_view(decoded) : data);
  std::string_view item;
  do {
    reader.Next(&item);
    ++items;
  } while (!reader.AtEnd());
  // Each item either gave an entry or was rejected; duplicates are entries without a row.
  FUZZ_CHECK(session.EntriesLoaded >= 0);
  const size_t loaded = static_cast<size_t>(session.EntriesLoaded);
  FUZZ_CHECK(loaded >= session.RowCount());
  const size_t rejected = items - loaded;
  FUZZ_CHECK(session.RejectedLines.size() == (rejected == 0 ? 1 : rejected));
  FUZZ_CHECK(yields <= items / 256 + 1);

  // The other display orders must sort the same rows without losing any.
  session.blocked.SetSort(quorvale::Column::kDescription, quorvale::SortDirection::kDescending);
  session.redirected.SetSort(quorvale::Column::kRedirection, quorvale::SortDirection::kAscending);
  for (const EntryList* list : {&session.blocked, &session.redirected}) {
    FUZZ_CHECK(list->Order().size() == list->size());
    for (size_t row = 1; row < list->size(); ++row) {
      const quorvale::Column column = list->sort_column();
      if (list->sort_direction() == quorvale::SortDirection::kAscending) {
        FUZZ_CHECK(list->Text(row - 1, column) <= list->Text(row, column));
      } else {
        FUZZ_CHECK(list->Text(row - 1, column) >= list->Text(row, column));
      }
    }
  }
  return 0;
}
