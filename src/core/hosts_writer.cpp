#include "hosts_writer.h"

#include <charconv>
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

void AppendLine(std::string* out, std::string_view text) {
  out->append(text);
  out->append(kEol);
}

void AppendGeneratedBy(std::string* out, std::string_view date_text) {
  out->append(kGeneratedBy);
  AppendLine(out, date_text);
}

// address TAB prefix name [TAB description] CR LF
void AppendEntry(std::string* out, std::string_view address, std::string_view prefix, std::string_view name,
                 std::string_view description) {
  out->append(address);
  out->push_back('\t');
  out->append(prefix);
  out->append(name);
  if (!description.empty()) {
    out->push_back('\t');
    out->append(description);
  }
  out->append(kEol);
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

void FormatHostsFile(const Session& session, bool www, std::string_view redirect_address, bool include_comments,
                     std::string_view date_text, std::string* out, const YieldFn& yield) {
  const EntryList& list1 = session.list1;
  const EntryList& list2 = session.list2;
  const int copies = www ? 2 : 1;

  size_t length = 512 + date_text.size();
  for (size_t i = 0; i < list2.size(); ++i) {
    length += copies * (list2.Address(i).size() + list2.Name(i).size() + 8);
    if (include_comments) length += copies * (list2.Description(i).size() + 1);
  }
  for (size_t i = 0; i < list1.size(); ++i) {
    length += copies * (redirect_address.size() + list1.Name(i).size() + 8);
    if (include_comments) length += copies * (list1.Description(i).size() + 1);
  }
  out->reserve(out->size() + length);

  out->append(kHeaderTop);
  AppendLine(out, "#");
  for (std::string_view page : {kInfoPage1, kInfoPage2, kInfoPage3}) {
    out->append("# \t");
    AppendLine(out, page);
  }
  AppendLine(out, "#");
  AppendGeneratedBy(out, date_text);
  AppendLine(out, "#");
  out->append("# Nombre d'entrees: ");
  out->append(std::to_string(session.RowCount()));
  if (www) out->append(" * 2 avec les lignes 'www.'");
  out->append(kEol);
  AppendLine(out, "#");

  YieldTicker ticker(yield, 4096);
  auto description = [include_comments](const EntryList& list, size_t row) {
    return include_comments ? list.Description(row) : std::string_view();
  };
  for (int pass = 0; pass < copies; ++pass) {
    const std::string_view prefix = pass == 0 ? "" : "www.";
    for (size_t i = 0; i < list2.size(); ++i) {
      AppendEntry(out, list2.Address(i), prefix, list2.Name(i), description(list2, i));
      ticker.Tick();
    }
  }
  ticker.Now();
  for (int pass = 0; pass < copies; ++pass) {
    const std::string_view prefix = pass == 0 ? "" : "www.";
    for (size_t i = 0; i < list1.size(); ++i) {
      AppendEntry(out, redirect_address, prefix, list1.Name(i), description(list1, i));
      ticker.Tick();
    }
    ticker.Now();
  }
}

void FormatHostsFromArray(const SortBuffer& items, bool www, std::string_view redirect_address,
                          std::string_view date_text, std::string* out, const YieldFn& yield) {
  const int copies = www ? 2 : 1;
  size_t length = 512 + date_text.size();
  for (size_t i = 0; i < items.size(); ++i) length += copies * (redirect_address.size() + items[i].size() + 7);
  out->reserve(out->size() + length);

  out->append(kHeaderTop);
  out->append("# ");
  out->append(kInfoPage1);
  out->append(" et ");
  AppendLine(out, kInfoPage2);
  AppendLine(out, "#");
  AppendGeneratedBy(out, date_text);
  AppendLine(out, "#");
  out->append("# Entry Count: ");
  out->append(std::to_string(items.size()));
  if (www) out->append(" * 2 with www.");
  out->append(kEol);
  AppendLine(out, "#");

  YieldTicker ticker(yield, 4096);
  ticker.Now();
  for (int pass = 0; pass < copies; ++pass) {
    const std::string_view prefix = pass == 0 ? "" : "www.";
    for (size_t i = 0; i < items.size(); ++i) {
      AppendEntry(out, redirect_address, prefix, items[i], {});
      ticker.Tick();
    }
    ticker.Now();
  }
}

void FormatDomainExport(const EntryList& list, bool include_comments, std::string* out) {
  size_t length = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    length += list.Name(i).size() + 2;
    if (include_comments) length += list.Description(i).size() + 1;
  }
  out->reserve(out->size() + length);
  for (size_t i = 0; i < list.size(); ++i) {
    out->append(list.Name(i));
    std::string_view description = list.Description(i);
    if (include_comments && !description.empty()) {
      out->push_back('\t');
      out->append(description);
    }
    out->append(kEol);
  }
}

void FormatSortedNames(const SortBuffer& items, std::string* out) {
  size_t length = 0;
  for (size_t i = 0; i < items.size(); ++i) length += items[i].size() + 2;
  out->reserve(out->size() + length);
  for (size_t i = 0; i < items.size(); ++i) AppendLine(out, items[i]);
}

}  // namespace quorvale
