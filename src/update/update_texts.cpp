#include "update/update_texts.h"

#include <cstdio>
#include <ctime>
#include <string_view>

#include "core/backup_policy.h"

namespace quorvale {

namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr int kMillisecondsPerSecond = 1000;
constexpr int kMebibyteShift = 20;
constexpr std::uint64_t kMebibyteMask = (std::uint64_t{1} << kMebibyteShift) - 1;
// The longest Content-Type said in a reason, and where its parameters start.
constexpr std::size_t kContentTypeShownBytes = 80;
constexpr char kParametersStart = ';';
constexpr const char* kNoMemoryText = "memoire insuffisante";
constexpr const char* kNotStoredText = "copie impossible a enregistrer";
constexpr const char* kSystemLocalSource = "source locale refusee pour la mise a jour du systeme";
constexpr const char* kSystemRelativeSource = "chemin relatif refuse pour la mise a jour du systeme";
// Between the reasons of a source's failures.
constexpr const char* kFailuresSeparator = "; ";

std::string SecondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds);
  return text;
}

// "30 s", or "1500 ms" when the time is no whole number of seconds.
std::string DurationText(int milliseconds) {
  if (milliseconds % kMillisecondsPerSecond == 0) return std::to_string(milliseconds / kMillisecondsPerSecond) + " s";
  return std::to_string(milliseconds) + " ms";
}

std::string SizeText(std::uint64_t bytes) {
  if ((bytes & kMebibyteMask) == 0) return std::to_string(bytes >> kMebibyteShift) + " Mo";
  return std::to_string(bytes) + " octets";
}

// The media type of a Content-Type, printable ASCII only, for a reason.
std::string ShownMediaType(std::string_view content_type) {
  std::string out;
  for (char c : content_type.substr(0, content_type.find(kParametersStart))) {
    if (c > ' ' && c < 0x7F && out.size() < kContentTypeShownBytes) out += c;
  }
  return out;
}

// `text`, then ": " and the system's `detail` when there is one.
std::string WithDetail(const char* text, const std::string& detail) {
  return detail.empty() ? std::string(text) : text + (": " + detail);
}

std::string DownloadFailureText(const SourceFailure& failure) {
  const DownloadLimits& limits = failure.limits;
  switch (failure.download) {
    case DownloadFailure::kResolve:
      return "nom d'hote introuvable";
    case DownloadFailure::kConnect:
      return "connexion impossible";
    case DownloadFailure::kConnectTimeout:
      return "pas de connexion apres " + DurationText(limits.connect_milliseconds);
    case DownloadFailure::kStalled:
      return "aucun octet recu pendant " + DurationText(limits.stall_milliseconds);
    case DownloadFailure::kTooLong:
      return "telechargement trop long (plus de " + DurationText(limits.total_milliseconds) + ")";
    case DownloadFailure::kTooManyRedirects:
      return "trop de redirections (plus de " + std::to_string(limits.max_redirects) + ")";
    case DownloadFailure::kInsecureRedirect:
      return "redirection de https vers http refusee";
    case DownloadFailure::kTooBig:
      return "fichier trop gros (plus de " + SizeText(limits.max_bytes) + ")";
    case DownloadFailure::kCertificate:
      return WithDetail("certificat refuse", failure.detail);
    case DownloadFailure::kHttpStatus:
      return "reponse HTTP " + std::to_string(failure.http_status);
    case DownloadFailure::kTruncated:
      return "reponse incomplete (connexion coupee)";
    case DownloadFailure::kBadEncoding:
      return "contenu compresse illisible";
    case DownloadFailure::kCancelled:
      return "annule";
    case DownloadFailure::kNoMemory:
      return kNoMemoryText;
    case DownloadFailure::kNotStored:
      return WithDetail(kNotStoredText, failure.detail);
    case DownloadFailure::kNone:
    case DownloadFailure::kOther:
      break;
  }
  return failure.detail.empty() ? "erreur inconnue" : failure.detail;
}

// A local file's read failure.
std::string LocalReadText(ErrorCode code, const std::string& reason) {
  switch (code) {
    case ErrorCode::kNotFound:
      return "fichier introuvable";
    case ErrorCode::kAccessDenied:
      return "acces refuse";
    case ErrorCode::kNoMemory:
      return kNoMemoryText;
    default:
      return reason.empty() ? std::string("erreur de lecture") : reason;
  }
}

// Why a new body was not taken ("" for kTaken).
std::string RefusalText(BodyVerdict verdict, const NewBody& body) {
  switch (verdict) {
    case BodyVerdict::kTaken:
      break;
    case BodyVerdict::kHtml: {
      const std::string type = ShownMediaType(body.content_type);
      return "page HTML au lieu d'une liste" + (type.empty() ? std::string() : " (" + type + ")");
    }
    case BodyVerdict::kEmpty:
      return "aucune entree";
    case BodyVerdict::kShrunk:
      return std::to_string(body.entries) + " entrees au lieu de " + std::to_string(body.last_entries) +
             " (moins de la moitie)";
  }
  return std::string();
}

// The words of every kind, as a reason lists them: "hosts ou domains".
std::string KindWordsText() {
  std::string text;
  for (const SourceKindRow& row : kSourceKinds) {
    if (!text.empty()) text += " ou ";
    text += row.word;
  }
  return text;
}

std::string LineText(int line_number) { return "ligne " + std::to_string(line_number); }

}  // namespace

std::string SourceFaultText(const SourceFault& fault) {
  switch (fault.kind) {
    case SourceFault::Kind::kNone:
      break;
    case SourceFault::Kind::kControlInLine:
      return "caractere de controle dans la ligne";
    case SourceFault::Kind::kTooManyFields:
      return "trop de champs (une adresse, puis " + KindWordsText() + ")";
    case SourceFault::Kind::kUnclosedQuote:
      return "guillemet non ferme";
    case SourceFault::Kind::kNoBlankAfterQuote:
      return "espace attendu apres le guillemet fermant";
    case SourceFault::Kind::kEmptyAddress:
      return "adresse vide";
    case SourceFault::Kind::kControlInAddress:
      return "caractere de controle dans l'adresse";
    case SourceFault::Kind::kTabInAddress:
      return "tabulation dans l'adresse";
    case SourceFault::Kind::kByteOrderMarkInAddress:
      return "marque d'ordre des octets dans l'adresse";
    case SourceFault::Kind::kIncompleteAddress:
      return "adresse incomplete: " + fault.fact;
    case SourceFault::Kind::kUnknownScheme:
      return "adresse non reconnue: " + fault.fact + " (https://, http://, file:// ou un chemin)";
    case SourceFault::Kind::kSpaceInAddress:
      return "espace dans l'adresse";
    case SourceFault::Kind::kQuoteInAddress:
      return "guillemet dans l'adresse";
    case SourceFault::Kind::kUnknownKind:
      return "type inconnu: " + fault.fact + " (" + KindWordsText() + ")";
  }
  return std::string();
}

std::string MalformedLineText(const MalformedSourceLine& line) {
  return LineText(line.line_number) + ": " + SourceFaultText(line.fault);
}

std::string SkippedLineText(const MalformedSourceLine& line) {
  return LineText(line.line_number) + " ignoree: " + SourceFaultText(line.fault);
}

std::string SystemSourceRefusalText(const SystemSourceRefusal& refusal) {
  if (refusal.source == nullptr) return std::string();
  return LineText(refusal.source->line_number) + ": " +
         (refusal.relative ? kSystemRelativeSource : kSystemLocalSource) + ": " + refusal.source->address;
}

std::string SourceFailureText(const SourceFailure& failure) {
  switch (failure.kind) {
    case SourceFailure::Kind::kDownload:
      return DownloadFailureText(failure);
    case SourceFailure::Kind::kLocalRead:
      return LocalReadText(failure.code, failure.detail);
    case SourceFailure::Kind::kNotStored:
      return WithDetail(kNotStoredText, failure.detail);
    case SourceFailure::Kind::kNoMemory:
      return kNoMemoryText;
    case SourceFailure::Kind::kNoCacheFolder:
      return std::string(kNoCacheFolderText);
    case SourceFailure::Kind::kNotModifiedWithoutCopy:
      return "pas modifiee, mais aucune copie";
    case SourceFailure::Kind::kUnreadableCopy:
      return std::string(kUnreadableCopyText);
    case SourceFailure::Kind::kRefused:
      return RefusalText(failure.verdict, failure.body);
  }
  return std::string();
}

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
  std::string reasons;
  for (const SourceFailure& failure : result.failures) {
    if (!reasons.empty()) reasons += kFailuresSeparator;
    reasons += SourceFailureText(failure);
  }
  return "echec: " + reasons +
         (result.has_copy ? " (copie du " + DateText(result.copy.fetched) + " utilisee)" : " (aucune copie)");
}

std::string UnreadableFileText(const std::string& path, const Status& status) {
  return path + " n'a pas pu etre lu: " + LocalReadText(status.code(), status.reason());
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
