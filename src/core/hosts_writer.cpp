#include "hosts_writer.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iomanip>
#include <locale>
#include <sstream>

#include "name_rules.h"
#include "text.h"

namespace quorvale {

namespace {

constexpr std::string_view kEol = "\r\n";
constexpr std::string_view kHeaderTop =
    "#\r\n"
    "# La ligne ci-dessous est obligatoire, ne pas la supprimer!\r\n";
// The header's one line that is not a comment.
constexpr std::string_view kLocalhostLine = "127.0.0.1\tlocalhost";
constexpr std::string_view kHeaderBelowLocalhost =
    "#\r\n"
    "# Plus d'informations sur:\r\n";
constexpr std::string_view kGeneratedBy = "# Genere par: Quorvale @ ";
constexpr std::string_view kListCountLabel = "# Nombre d'entrees: ";
// After the count when the "www." twins are written.
constexpr std::string_view kWwwCountNote = " * 2 avec les lignes 'www.'";
constexpr std::string_view kCarriedLinesNote = "# Lignes conservees du fichier hosts precedent";
constexpr std::string_view kBlanks = " \t";

void AppendLine(ChunkedOutput& out, std::string_view text) {
  out.Append(text);
  out.Append(kEol);
}

// The header of both HOSTS writers: the fixed top lines, the lines that name the pages about
// the HOSTS file (`pages`, which differ), the date and the count line. `www_note` follows
// the count when the "www." twins are written.
void AppendHeader(ChunkedOutput& out, std::string_view pages, std::string_view date_text,
                  std::string_view count_label, size_t count, std::string_view www_note) {
  out.Append(kHeaderTop);
  AppendLine(out, kLocalhostLine);
  out.Append(kHeaderBelowLocalhost);
  out.Append(pages);
  AppendLine(out, "#");
  out.Append(kGeneratedBy);
  AppendLine(out, date_text);
  AppendLine(out, "#");
  out.Append(count_label);
  out.Append(std::to_string(count));
  out.Append(www_note);
  out.Append(kEol);
  AppendLine(out, "#");
}

// Whether two lines hold the same words between spaces and tabs.
bool SameWords(std::string_view a, std::string_view b) {
  while (true) {
    a.remove_prefix(std::min(a.size(), a.find_first_not_of(kBlanks)));
    b.remove_prefix(std::min(b.size(), b.find_first_not_of(kBlanks)));
    if (a.empty() || b.empty()) return a.empty() && b.empty();
    const size_t a_word = std::min(a.size(), a.find_first_of(kBlanks));
    const size_t b_word = std::min(b.size(), b.find_first_of(kBlanks));
    if (a.substr(0, a_word) != b.substr(0, b_word)) return false;
    a.remove_prefix(a_word);
    b.remove_prefix(b_word);
  }
}

// The lines kept from the HOSTS file being replaced, under their note.
void AppendCarriedLines(ChunkedOutput& out, const std::vector<std::string>& lines) {
  bool noted = false;
  for (const std::string& line : lines) {
    // The header's localhost line is not written twice; its other lines are comments, and a
    // carried line never is one.
    if (SameWords(line, kLocalhostLine)) continue;
    if (!noted) AppendLine(out, kCarriedLinesNote);
    noted = true;
    AppendLine(out, line);
  }
}

// The list writer names the three pages one to a line, after a "#" line.
std::string ListPages() {
  std::string pages = "#";
  pages += kEol;
  for (std::string_view page : {kInfoPage1, kInfoPage2, kInfoPage3}) {
    pages += "# \t";
    pages += page;
    pages += kEol;
  }
  return pages;
}

// The sort buffer's writer names the first two on one line.
std::string ArrayPages() {
  std::string pages = "# ";
  pages += kInfoPage1;
  pages += " et ";
  pages += kInfoPage2;
  pages += kEol;
  return pages;
}

void Put(char*& cursor, std::string_view text) {
  std::memcpy(cursor, text.data(), text.size());
  cursor += text.size();
}

// address TAB prefix name [TAB description] CR LF. The line is copied straight into the
// output's room: a million lines of five small appends each would spend most of their time
// in the appends' bookkeeping.
void AppendEntry(ChunkedOutput& out, std::string_view address, std::string_view prefix, std::string_view name,
                 std::string_view description) {
  const size_t length = address.size() + prefix.size() + name.size() + description.size() + 4;
  char* cursor = out.Room(length);
  Put(cursor, address);
  *cursor++ = '\t';
  Put(cursor, prefix);
  Put(cursor, name);
  if (!description.empty()) {
    *cursor++ = '\t';
    Put(cursor, description);
  }
  *cursor++ = '\r';
  *cursor++ = '\n';
  out.Commit(cursor);
}

// Reads SOURCE_DATE_EPOCH: decimal seconds since 1970-01-01 UTC, nothing else around them.
bool FixedMoment(std::tm* moment) {
  const char* value = std::getenv("SOURCE_DATE_EPOCH");
  if (value == nullptr || *value == '\0') return false;
  std::string_view text(value);
  long long seconds = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (error != std::errc() || end != text.data() + text.size() || seconds < 0) return false;
  const std::time_t time = static_cast<std::time_t>(seconds);
  if (static_cast<long long>(time) != seconds) return false;
  const std::tm* broken = std::gmtime(&time);
  if (broken == nullptr) return false;
  *moment = *broken;
  return true;
}

std::locale UserLocale() {
  try {
    return std::locale("");
  } catch (const std::exception&) {
    // The environment names a locale that is not installed.
    return std::locale::classic();
  }
}

}  // namespace

std::tm HeaderMoment() {
  std::tm moment{};
  if (!FixedMoment(&moment)) {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    if (local != nullptr) moment = *local;
  }
  return moment;
}

std::string LocaleDateTimeText(const std::tm& moment) {
  std::ostringstream text;
  text.imbue(UserLocale());
  text << std::put_time(&moment, "%x %X");
  return text.str();
}

std::string CarriedLinesText(const std::vector<std::string>& carried_lines) {
  std::string text;
  ChunkedOutput out(AppendTo(&text));
  AppendCarriedLines(out, carried_lines);
  out.Finish();
  return text;
}

bool IsHostsHeaderLine(size_t index, std::string_view line) {
  // The header with an empty date, split into its lines.
  static const std::vector<std::string> kLines = [] {
    std::string text;
    ChunkedOutput out(AppendTo(&text));
    AppendHeader(out, ListPages(), "", kListCountLabel, 0, "");
    out.Finish();
    std::vector<std::string> lines;
    for (size_t start = 0, end = 0; (end = text.find(kEol, start)) != std::string::npos; start = end + kEol.size()) {
      lines.push_back(text.substr(start, end - start));
    }
    return lines;
  }();
  if (index >= kLines.size()) return false;
  if (StartsWith(kLines[index], kGeneratedBy)) {
    return StartsWith(line, kGeneratedBy) && line.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
  }
  if (StartsWith(kLines[index], kListCountLabel)) {
    if (!StartsWith(line, kListCountLabel)) return false;
    line.remove_prefix(kListCountLabel.size());
    const size_t digits = std::min(line.find_first_not_of("0123456789"), line.size());
    return digits > 0 && (line.substr(digits).empty() || line.substr(digits) == kWwwCountNote);
  }
  return line == kLines[index];
}

WriteOptions WriteOptionsFor(const Session& session, bool include_comments) {
  return {session.RedirectAddress, session.AddWwwLines, include_comments};
}

bool ForEachWrittenRow(const EntryList& list, bool add_www, YieldTicker& ticker, const WrittenRowFn& visit) {
  for (int pass = 0; pass < 2; ++pass) {
    const bool twins = pass == 1;
    if (twins && !add_www && list.rows_listed_with_www() == 0) break;
    // Empty, yet pointing somewhere: the line's copy takes no null source.
    const std::string_view prefix = twins ? kWwwPrefix : std::string_view("");
    const bool every_row = !twins || add_www;
    const bool complete = list.ForEachRow([&](const EntryList::RowTexts& row) {
      ticker.Tick();
      return !(every_row || row.listed_with_www) || visit(row, prefix);
    });
    ticker.Now();
    if (!complete) return false;
  }
  return true;
}

bool FormatHostsFile(const Session& session, const WriteOptions& options, std::string_view date_text,
                     const ByteSink& sink, const YieldFn& yield) {
  const EntryList& blocked = session.blocked;
  const EntryList& redirected = session.redirected;
  const std::string_view redirect_address = options.redirect_address;
  const bool include_comments = options.include_comments;
  ChunkedOutput out(sink);
  AppendHeader(out, ListPages(), date_text, kListCountLabel, session.RowCount(),
               options.add_www ? kWwwCountNote : "");
  AppendCarriedLines(out, options.carried_lines);

  YieldTicker ticker(yield, kYieldEveryRows);
  auto append_list = [&](const EntryList& list, bool own_addresses) {
    ForEachWrittenRow(list, options.add_www, ticker, [&](const EntryList::RowTexts& row, std::string_view prefix) {
      AppendEntry(out, own_addresses ? row.address : redirect_address, prefix, row.name,
                  include_comments ? row.description : std::string_view());
      return !out.failed();
    });
  };
  append_list(redirected, true);
  append_list(blocked, false);
  return out.Finish();
}

bool FormatHostsFromArray(const SortBuffer& items, const WriteOptions& options, std::string_view date_text,
                          const ByteSink& sink, const YieldFn& yield) {
  const std::string_view redirect_address = options.redirect_address;
  const int copies = options.add_www ? 2 : 1;
  ChunkedOutput out(sink);
  AppendHeader(out, ArrayPages(), date_text, "# Entry Count: ", items.size(), options.add_www ? " * 2 with www." : "");

  YieldTicker ticker(yield, kYieldEveryRows);
  ticker.Now();
  for (int pass = 0; pass < copies && !out.failed(); ++pass) {
    const std::string_view prefix = pass == 0 ? "" : "www.";
    for (size_t i = 0; i < items.size() && !out.failed(); ++i) {
      AppendEntry(out, redirect_address, prefix, items[i], {});
      ticker.Tick();
    }
    ticker.Now();
  }
  return out.Finish();
}

bool FormatDomainExport(const EntryList& list, const WriteOptions& options, const ByteSink& sink) {
  ChunkedOutput out(sink);
  list.ForEachRow([&](const EntryList::RowTexts& row) {
    out.Append(row.name);
    if (options.include_comments && !row.description.empty()) {
      out.Append("\t");
      out.Append(row.description);
    }
    out.Append(kEol);
    return !out.failed();
  });
  return out.Finish();
}

bool FormatSortedNames(const SortBuffer& items, const ByteSink& sink) {
  ChunkedOutput out(sink);
  for (size_t i = 0; i < items.size() && !out.failed(); ++i) {
    const std::string_view name = items[i];
    char* cursor = out.Room(name.size() + 2);
    Put(cursor, name);
    *cursor++ = '\r';
    *cursor++ = '\n';
    out.Commit(cursor);
  }
  return out.Finish();
}

}  // namespace quorvale
