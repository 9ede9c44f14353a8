#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

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

// The moment a written file's header names: the one SOURCE_DATE_EPOCH fixes when it holds
// decimal seconds since 1970 (broken down as UTC, so that output can be reproduced whatever
// the time zone), otherwise the local time now. The platform turns it into the header's text
// (Platform::LocalDateTimeText).
std::tm HeaderMoment();

// `moment` as the header shows it on POSIX: the locale's short date, one space, the locale's
// time (strftime "%x %X" under the locale that LC_ALL, LC_TIME or LANG names; the classic
// one when that locale is not installed).
std::string LocaleDateTimeText(const std::tm& moment);

// How the entries are written. The command line and the window make it the same way, with
// WriteOptionsFor().
struct WriteOptions {
  // The address written in front of every blocked name (`blocked` and the sort buffer); `redirected`
  // keeps each row's own address.
  std::string redirect_address{};
  // Each section is written a second time with "www." in front of every name (without it,
  // only the names of the rows listed with "www." are).
  bool add_www = false;
  // A row that has a description gets TAB + description after its name.
  bool include_comments = false;
  // Lines of the HOSTS file being replaced that the lists cannot hold (LinesToCarry), written
  // as they are. FormatHostsFile only; the other writers do not read it.
  std::vector<std::string> carried_lines{};
};

// The options chosen in the session (RedirectAddress, AddWwwLines) and the answer to the
// question whether descriptions go with the names.
WriteOptions WriteOptionsFor(const Session& session, bool include_comments);

// Each writer hands its bytes to `sink` piece by piece (about a megabyte at a time) and
// returns false when the sink refused one; it stops there. The forms that take a string
// append to it.

// The rows of `list` as a file of the lists holds them: every row in display order, then
// the "www." twins, every row's with `add_www`, otherwise those of the rows listed with
// "www." only (a pass that is skipped when there are none). `visit` gets each row and the
// prefix of its line ("" or "www.") and returns false to stop there; so does the call.
// Offers `ticker` a yield at every row.
using WrittenRowFn = std::function<bool(const EntryList::RowTexts& row, std::string_view prefix)>;
bool ForEachWrittenRow(const EntryList& list, bool add_www, YieldTicker& ticker, const WrittenRowFn& visit);

// A HOSTS file of both lists: the 14 header lines; then, when `carried_lines` holds a line
// that the header does not already hold (the same words between spaces and tabs: the header's
// localhost line), the line "# Lignes conservees du fichier hosts precedent" and those lines
// in their order; then `redirected`, its "www." twins, `blocked` with the redirect address, its
// twins. The twins are every row's when `add_www`, otherwise those of the rows listed with
// "www." only. Rows in each list's display order; descriptions only with `include_comments`.
// The header's count is the rows', with the note of the twins only when `add_www`. Every
// line ends with CR LF.
bool FormatHostsFile(const Session& session, const WriteOptions& options, std::string_view date_text,
                     const ByteSink& sink, const YieldFn& yield = {});
inline void FormatHostsFile(const Session& session, const WriteOptions& options, std::string_view date_text,
                            std::string* out, const YieldFn& yield = {}) {
  FormatHostsFile(session, options, date_text, AppendTo(out), yield);
}

// What FormatHostsFile writes for `carried_lines` between its header and its entries: the
// note and the lines, or nothing.
std::string CarriedLinesText(const std::vector<std::string>& carried_lines);
// The lines of FormatHostsFile's header, and whether `line` (without its line end) may be
// the line `index` (from 0) of one: the fixed lines exactly, the date line with any date text
// without CR, LF or NUL, the count line with a decimal count and the note of the "www." twins
// or none.
inline constexpr size_t kHostsHeaderLines = 14;
bool IsHostsHeaderLine(size_t index, std::string_view line);

// A HOSTS file of the sort buffer: the 11 header lines with the English count line, then
// every element with the redirect address, then the "www." twins when `add_www`. The
// elements are written whole, comment part included: `include_comments` is not read.
bool FormatHostsFromArray(const SortBuffer& items, const WriteOptions& options, std::string_view date_text,
                          const ByteSink& sink, const YieldFn& yield = {});
inline void FormatHostsFromArray(const SortBuffer& items, const WriteOptions& options, std::string_view date_text,
                                 std::string* out, const YieldFn& yield = {}) {
  FormatHostsFromArray(items, options, date_text, AppendTo(out), yield);
}

// The names of `list` in display order, one per line; with `include_comments`, a row with a
// description gets TAB + description. Only `include_comments` is read.
bool FormatDomainExport(const EntryList& list, const WriteOptions& options, const ByteSink& sink);
inline void FormatDomainExport(const EntryList& list, const WriteOptions& options, std::string* out) {
  FormatDomainExport(list, options, AppendTo(out));
}

// Every element of the sort buffer as one line.
bool FormatSortedNames(const SortBuffer& items, const ByteSink& sink);
inline void FormatSortedNames(const SortBuffer& items, std::string* out) { FormatSortedNames(items, AppendTo(out)); }

}  // namespace quorvale
