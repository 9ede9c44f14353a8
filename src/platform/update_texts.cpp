#include "platform/update_texts.h"

#include <cstdio>
#include <ctime>
#include <string_view>

#include "core/backup_policy.h"
#include "core/name_origin.h"
#include "core/source_copy.h"
#include "platform/file_loads.h"

namespace quorvale {

namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

std::string SecondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds);
  return text;
}

}  // namespace

std::string DateText(std::int64_t seconds) { return BackupTimeText(seconds * kNanosecondsPerSecond); }

std::string LocalDateText(Platform& platform, std::int64_t seconds) {
  const auto time = static_cast<std::time_t>(seconds);
  const std::tm* local = std::localtime(&time);
  return local != nullptr ? platform.DateTimeText(*local) : DateText(seconds);
}

std::string UpdateSummaryText(size_t had, size_t total) {
  return "mise a jour: " + std::to_string(had) + (had == 1 ? " source sur " : " sources sur ") + std::to_string(total);
}

std::string SourceOutcomeText(const SourceResult& result) {
  switch (result.outcome) {
    case SourceResult::Outcome::kDownloaded:
      return "telechargee (" + std::to_string(result.bytes) + " octets, " + std::to_string(result.entries) +
             " entrees, " + SecondsText(result.seconds) + " s)";
    case SourceResult::Outcome::kNotModified:
      return "non modifiee";
    case SourceResult::Outcome::kFailed:
      break;
  }
  return "echec: " + result.reason +
         (result.has_copy ? " (copie du " + DateText(result.copy.fetched) + " utilisee)" : " (aucune copie)");
}

std::string UpdateLoadFailureText(const Status& status) {
  return status.subject() + " n'a pas pu etre lu: " +
         (status.reason().empty() ? std::string("erreur de lecture") : status.reason());
}

std::string KeptLinesText(size_t count, const Status& saved) {
  if (count == 0) return "";
  const bool one = count == 1;
  if (!saved.ok()) {
    return std::string(one ? "la ligne du fichier hosts actuel n'a pas pu etre gardee"
                           : "les lignes du fichier hosts actuel n'ont pas pu etre gardees") +
           " dans own.txt: " + saved.ToString();
  }
  return std::to_string(count) +
         (one ? " ligne du fichier hosts actuel gardee" : " lignes du fichier hosts actuel gardees") + " dans own.txt";
}

bool ExplainName(Platform& platform, const std::string& sources_path, const std::string& name,
                 std::vector<std::string>* lines, std::string* error, bool* in_own_file) {
  if (in_own_file != nullptr) *in_own_file = false;
  const UpdatePlaces places = PlacesOf(platform, sources_path);
  std::vector<Source> sources;
  std::vector<std::string> skipped;  // an update leaves them out too
  if (!ReadSources(platform, places, &sources, error, &skipped)) return false;
  std::vector<SourceResult> results = CachedSources(platform, places, sources);
  bool found = false;
  auto show = [&](const std::string& label, const std::vector<NameLine>& giving, const std::string& after) {
    for (const NameLine& line : giving) {
      lines->push_back(label + ": ligne " + std::to_string(line.line_number) + ": " + line.line + after);
      found = true;
    }
  };
  std::string bytes;
  if (ReadFileBytes(platform, places.own_path, &bytes).ok()) {
    show(places.own_path, FindNameLines(bytes, SourceKind::kHosts, name), "");
  }
  if (in_own_file != nullptr) *in_own_file = found;
  for (const SourceResult& result : results) {
    if (!result.has_copy) {
      lines->push_back(result.source.address + ": aucune copie (pas encore telechargee)");
      continue;
    }
    std::string copy;
    if (!ReadFileBytes(platform, result.copy_path, &copy, ReadAs::kBytes).ok()) continue;
    CopyHeader header;
    size_t body = 0;
    if (ParseCopyHeader(copy, &header, &body)) {
      show(result.source.address, FindNameLines(std::string_view(copy).substr(body), result.source.kind, name), "");
    }
  }
  const bool had = found;
  if (ReadFileBytes(platform, places.allow_path, &bytes).ok()) {
    show(places.allow_path, FindAllowLines(bytes, name), " (retire des listes)");
  }
  if (!had) lines->push_back(name + ": dans aucune source");

  Session session;
  size_t allowed = 0;
  Status status = LoadUpdate(platform, places, results, session, {}, &allowed);
  if (!status.ok()) {
    *error = status.ToString();
    return false;
  }
  const bool blocked = ListWritesName(session.blocked, name);
  const bool redirected = ListWritesName(session.redirected, name);
  if (blocked) lines->push_back(name + ": dans la liste des noms bloques");
  if (redirected) lines->push_back(name + ": dans la liste des redirections");
  if (!blocked && !redirected) lines->push_back(name + ": dans aucune liste");
  return true;
}

}  // namespace quorvale
