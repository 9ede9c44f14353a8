#include "update/update_texts.h"

#include <cstdio>
#include <ctime>
#include <string_view>

#include "core/backup_policy.h"

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
                 std::vector<std::string>* lines, std::string* error, bool* in_own_file, const YieldFn& yield) {
  if (in_own_file != nullptr) *in_own_file = false;
  const UpdatePlaces places = PlacesOf(platform, sources_path);
  std::vector<Source> sources;
  std::vector<std::string> skipped;  // an update leaves them out too
  if (!ReadSources(platform, places, &sources, error, &skipped)) return false;
  const std::vector<SourceResult> results = CachedSources(platform, places, sources);
  NameTrace trace(name);
  NameSourceLines found_lines;
  const Status traced = TraceName(platform, places, results, yield, trace, &found_lines);
  bool found = false;
  auto show = [&](const std::string& label, const std::vector<NameLine>& giving, const std::string& after) {
    for (const NameLine& line : giving) {
      lines->push_back(label + ": ligne " + std::to_string(line.line_number) + ": " + line.line + after);
      found = true;
    }
  };
  show(places.own_path, found_lines.own, "");
  if (in_own_file != nullptr) *in_own_file = found;
  for (size_t i = 0; i < results.size(); ++i) {
    if (results[i].has_copy) {
      show(results[i].source.address, found_lines.copies[i], "");
    } else {
      lines->push_back(results[i].source.address + ": aucune copie (pas encore telechargee)");
    }
  }
  const bool had = found;
  show(places.allow_path, found_lines.allow, " (retire des listes)");
  if (!had) lines->push_back(name + ": dans aucune source");
  if (!traced.ok()) {
    *error = traced.ToString();
    return false;
  }
  if (trace.blocked()) lines->push_back(name + ": dans la liste des noms bloques");
  if (trace.redirected()) lines->push_back(name + ": dans la liste des redirections");
  if (!trace.blocked() && !trace.redirected()) lines->push_back(name + ": dans aucune liste");
  return true;
}

}  // namespace quorvale
