#include "hosts_writer.h"

#include <charconv>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iomanip>
#include <locale>
#include <sstream>

namespace quorvale {

namespace {

constexpr std::string_view kEol = "\r\n";
constexpr std::string_view kHeaderTop =
    "#\r\n"
    "# La ligne ci-dessous est obligatoire, ne pas la supprimer!\r\n"
    "127.0.0.1\tlocalhost\r\n"
    "#\r\n"
    "# Plus d'informations sur:\r\n";
constexpr std::string_view kGeneratedBy = "# Genere par: Quorvale @ ";

void AppendLine(ChunkedOutput& out, std::string_view text) {
  out.Append(text);
  out.Append(kEol);
}

void AppendGeneratedBy(ChunkedOutput& out, std::string_view date_text) {
  out.Append(kGeneratedBy);
  AppendLine(out, date_text);
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

std::string CurrentDateTimeText() {
  std::tm moment{};
  if (!FixedMoment(&moment)) {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    if (local != nullptr) moment = *local;
  }
  std::ostringstream text;
  text.imbue(UserLocale());
  text << std::put_time(&moment, "%x %X");
  return text.str();
}

bool FormatHostsFile(const Session& session, bool www, std::string_view redirect_address, bool include_comments,
                     std::string_view date_text, const ByteSink& sink, const YieldFn& yield) {
  const EntryList& list1 = session.list1;
  const EntryList& list2 = session.list2;
  const int copies = www ? 2 : 1;
  ChunkedOutput out(sink);

  out.Append(kHeaderTop);
  AppendLine(out, "#");
  for (std::string_view page : {kInfoPage1, kInfoPage2, kInfoPage3}) {
    out.Append("# \t");
    AppendLine(out, page);
  }
  AppendLine(out, "#");
  AppendGeneratedBy(out, date_text);
  AppendLine(out, "#");
  out.Append("# Nombre d'entrees: ");
  out.Append(std::to_string(session.RowCount()));
  if (www) out.Append(" * 2 avec les lignes 'www.'");
  out.Append(kEol);
  AppendLine(out, "#");

  YieldTicker ticker(yield, 4096);
  for (int pass = 0; pass < copies && !out.failed(); ++pass) {
    const std::string_view prefix = pass == 0 ? "" : "www.";
    list2.ForEachRow([&](const EntryList::RowTexts& row) {
      AppendEntry(out, row.address, prefix, row.name, include_comments ? row.description : std::string_view());
      ticker.Tick();
      return !out.failed();
    });
  }
  ticker.Now();
  for (int pass = 0; pass < copies && !out.failed(); ++pass) {
    const std::string_view prefix = pass == 0 ? "" : "www.";
    list1.ForEachRow([&](const EntryList::RowTexts& row) {
      AppendEntry(out, redirect_address, prefix, row.name, include_comments ? row.description : std::string_view());
      ticker.Tick();
      return !out.failed();
    });
    ticker.Now();
  }
  return out.Finish();
}

bool FormatHostsFromArray(const SortBuffer& items, bool www, std::string_view redirect_address,
                          std::string_view date_text, const ByteSink& sink, const YieldFn& yield) {
  const int copies = www ? 2 : 1;
  ChunkedOutput out(sink);

  out.Append(kHeaderTop);
  out.Append("# ");
  out.Append(kInfoPage1);
  out.Append(" et ");
  AppendLine(out, kInfoPage2);
  AppendLine(out, "#");
  AppendGeneratedBy(out, date_text);
  AppendLine(out, "#");
  out.Append("# Entry Count: ");
  out.Append(std::to_string(items.size()));
  if (www) out.Append(" * 2 with www.");
  out.Append(kEol);
  AppendLine(out, "#");

  YieldTicker ticker(yield, 4096);
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

bool FormatDomainExport(const EntryList& list, bool include_comments, const ByteSink& sink) {
  ChunkedOutput out(sink);
  list.ForEachRow([&](const EntryList::RowTexts& row) {
    out.Append(row.name);
    if (include_comments && !row.description.empty()) {
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
