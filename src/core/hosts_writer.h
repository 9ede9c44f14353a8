#pragma once

#include <string>
#include <string_view>

#include "byte_sink.h"
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

// Each writer hands its bytes to `sink` piece by piece (about a megabyte at a time) and
// returns false when the sink refused one; it stops there. The forms that take a string
// append to it.

// A HOSTS file of both lists: the 14 header lines, then list2, its "www." twins when `www`,
// list1 with `redirect_address`, its twins when `www`. Rows in each list's display order;
// descriptions (TAB + description) only when `include_comments` and the row has one. Every
// line ends with CR LF.
bool FormatHostsFile(const Session& session, bool www, std::string_view redirect_address, bool include_comments,
                     std::string_view date_text, const ByteSink& sink, const YieldFn& yield = {});
inline void FormatHostsFile(const Session& session, bool www, std::string_view redirect_address,
                            bool include_comments, std::string_view date_text, std::string* out,
                            const YieldFn& yield = {}) {
  FormatHostsFile(session, www, redirect_address, include_comments, date_text, AppendTo(out), yield);
}

// A HOSTS file of the sort buffer: the 11 header lines with the English count line, then
// every element with `redirect_address`, then the "www." twins when `www`.
bool FormatHostsFromArray(const SortBuffer& items, bool www, std::string_view redirect_address,
                          std::string_view date_text, const ByteSink& sink, const YieldFn& yield = {});
inline void FormatHostsFromArray(const SortBuffer& items, bool www, std::string_view redirect_address,
                                 std::string_view date_text, std::string* out, const YieldFn& yield = {}) {
  FormatHostsFromArray(items, www, redirect_address, date_text, AppendTo(out), yield);
}

// The names of `list` in display order, one per line; with `include_comments`, a row with a
// description gets TAB + description.
bool FormatDomainExport(const EntryList& list, bool include_comments, const ByteSink& sink);
inline void FormatDomainExport(const EntryList& list, bool include_comments, std::string* out) {
  FormatDomainExport(list, include_comments, AppendTo(out));
}

// Every element of the sort buffer as one line.
bool FormatSortedNames(const SortBuffer& items, const ByteSink& sink);
inline void FormatSortedNames(const SortBuffer& items, std::string* out) { FormatSortedNames(items, AppendTo(out)); }

}  // namespace quorvale
