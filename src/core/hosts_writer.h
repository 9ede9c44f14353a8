#pragma once

#include <string>
#include <string_view>

#include "entry_list.h"
#include "session.h"
#include "sort_buffer.h"
#include "yield.h"

namespace quorvale {

// The three pages about the HOSTS file named in the header of a written file.
inline constexpr std::string_view kInfoPage1 = "https://fr.wikipedia.org/wiki/Hosts";
inline constexpr std::string_view kInfoPage2 = "https://man7.org/linux/man-pages/man5/hosts.5.html";
inline constexpr std::string_view kInfoPage3 = "https://en.wikipedia.org/wiki/Hosts_(file)";

// The moment of writing as the header shows it: the locale's short date, one space, the
// locale's time (strftime "%x %X" under LC_TIME/LANG from the environment). When
// SOURCE_DATE_EPOCH is set it fixes the moment (read as UTC), so output can be reproduced.
std::string CurrentDateTimeText();

// A HOSTS file of both lists: the 14 header lines, then list2, its "www." twins when `www`,
// list1 with `redirect_address`, its twins when `www`. Rows in each list's display order;
// descriptions (TAB + description) only when `include_comments` and the row has one. Every
// line ends with CR LF. Appends to `out`.
void FormatHostsFile(const Session& session, bool www, std::string_view redirect_address, bool include_comments,
                     std::string_view date_text, std::string* out, const YieldFn& yield = {});

// A HOSTS file of the sort buffer: the 11 header lines with the English count line, then
// every element with `redirect_address`, then the "www." twins when `www`. Appends to `out`.
void FormatHostsFromArray(const SortBuffer& items, bool www, std::string_view redirect_address,
                          std::string_view date_text, std::string* out, const YieldFn& yield = {});

// The names of `list` in display order, one per line; with `include_comments`, a row with a
// description gets TAB + description. Appends to `out`.
void FormatDomainExport(const EntryList& list, bool include_comments, std::string* out);

// Every element of the sort buffer as one line. Appends to `out`.
void FormatSortedNames(const SortBuffer& items, std::string* out);

}  // namespace quorvale
