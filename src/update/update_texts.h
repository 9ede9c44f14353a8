#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/yield.h"
#include "platform/platform.h"
#include "update/source_update.h"

// The words of an update and of "why this name?", shared by the command line and the window
// so that both say the same.

namespace quorvale {

// The words of failures that travel as a Status's reason: the platform has no cache folder,
// or no configuration folder; a cached copy is not one; a sources file lists no source.
inline constexpr std::string_view kNoCacheFolderText = "pas de dossier de cache";
inline constexpr std::string_view kNoConfigFolderText = "pas de dossier de configuration";
inline constexpr std::string_view kUnreadableCopyText = "copie du cache illisible";
inline constexpr std::string_view kNoSourcesText = "aucune source";

// Why a line of the sources file, or an address given alone, is no source, without "ligne N:
// ": "adresse vide", "guillemet non ferme", "type inconnu: x (hosts ou domains)"...
std::string SourceFaultText(const SourceFault& fault);
// "ligne 3: <reason>".
std::string MalformedLineText(const MalformedSourceLine& line);
// What an update says of a malformed line it leaves out: "ligne 3 ignoree: <reason>".
std::string SkippedLineText(const MalformedSourceLine& line);
// Why the system's scheduled update refuses a source: "ligne N: ", why, ": " and its address;
// "" when it refuses none.
std::string SystemSourceRefusalText(const SystemSourceRefusal& refusal);

// Why a source failed, as SourceOutcomeText says it after "echec: ": "nom d'hote introuvable",
// "pas de connexion apres 10 s", "reponse HTTP 404", "fichier introuvable", "aucune entree"...
std::string SourceFailureText(const SourceFailure& failure);

// What the fetch of one source did, after "<address>: ": "telechargee (N octets, M entrees,
// S s)", "non modifiee", "echec: <reasons> (copie du <date> utilisee)" or "echec: <reasons>
// (aucune copie)", the reasons of its failures joined by "; ".
std::string SourceOutcomeText(const SourceResult& result);

// The start of an update's summary, how many sources it had of how many: "mise a jour: 2
// sources sur 4", "mise a jour: 1 source sur 4".
std::string UpdateSummaryText(size_t had, size_t total);

// A moment in seconds since 1970 as the program shows dates: "yyyy-mm-dd hh:mm:ss", local.
std::string DateText(std::int64_t seconds);

// A moment in seconds since 1970 as the windows show dates: in the user's regional settings,
// as the header of a written HOSTS file (Platform::DateTimeText).
std::string LocalDateText(Platform& platform, std::int64_t seconds);

// A file of an update that could not be read, in the user's words: "<path> n'a pas pu etre
// lu: fichier introuvable".
std::string UnreadableFileText(const std::string& path, const Status& status);

// A load of an update that failed, in the user's words: which file could not be read, and why.
std::string UpdateLoadFailureText(const Status& status);

// What became of the `count` lines of the current HOSTS file that an update's replace kept
// (SaveKeptRedirections gave `saved`): "3 lignes du fichier hosts actuel gardees dans
// own.txt", "1 ligne ... gardee ...", or why own.txt could not take them; "" for none.
std::string KeptLinesText(size_t count, const Status& saved);

// Where `name` comes from, for the sources file at `sources_path`, from the cache only: the
// lines of own.txt and of the copies that hold it, those of allow.txt that take it out, and
// which list an update's load puts it in, one line each. The files are read a piece at a time
// and no list is loaded (TraceName); `yield` is offered as the loads offer it. False when the
// sources file cannot be read or the load would fail: `*error` says why (the lines found
// stay in `*lines`). `*in_own_file`, when given, says whether own.txt holds the name.
bool ExplainName(Platform& platform, const std::string& sources_path, const std::string& name,
                 std::vector<std::string>* lines, std::string* error, bool* in_own_file = nullptr,
                 const YieldFn& yield = {});

}  // namespace quorvale
