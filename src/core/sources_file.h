#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "source_kinds.h"

// The sources file: the lists an update downloads, one a line, "ADDRESS [KIND]".

namespace quorvale {

struct Source {
  enum class Scheme { kHttps, kHttp, kFile, kPath };
  int line_number = 0;  // in the sources file, from 1
  std::string address;  // as written
  Scheme scheme = Scheme::kHttps;
  SourceKind kind = kDefaultSourceKind;
};

// A line of the sources file that no update can read.
struct MalformedSourceLine {
  int line_number = 0;  // from 1
  std::string reason;   // in French, without "ligne N: "
};

// Reads a sources file: blank lines and lines whose first non-blank character is "#" are
// skipped; every other line is an address (https://, http://, file:// or a plain path),
// then optionally the word of its kind (kSourceKinds; kDefaultSourceKind when none),
// separated by spaces or tabs. A plain path that holds spaces is written between double
// quotes ("C:\Mes listes\a.txt" domains); any address may be. Each malformed line goes to
// `*malformed` and the reading goes on. A UTF-8 byte-order mark at the start is ignored.
void ReadSourcesFile(std::string_view text, std::vector<Source>* sources, std::vector<MalformedSourceLine>* malformed);

// The same reading, where the first malformed line stops it: false, no source, and `*error`
// says which line and why (MalformedLineText).
bool ParseSourcesFile(std::string_view text, std::vector<Source>* sources, std::string* error);

// "ligne 3: <reason>".
std::string MalformedLineText(const MalformedSourceLine& line);
// What an update says of a malformed line it leaves out: "ligne 3 ignoree: <reason>".
std::string SkippedLineText(const MalformedSourceLine& line);

// The same check for one address given alone (the window's source editor): "" when it is
// good, else the reason as the file's reader words it, without "ligne N: ": "adresse vide",
// "caractere de controle dans l'adresse", "tabulation dans l'adresse", "espace dans
// l'adresse" (a web or file:// address), "guillemet dans l'adresse" (one that must be
// written between quotes), or why its scheme is refused.
std::string CheckSourceAddress(std::string_view address);

// A source's line as the editor writes it: the address (between double quotes when it holds
// a space or starts with "#" or a quote), then " " and the kind's word ("domains") unless it
// is kDefaultSourceKind. The file's reader gives the address back as it was for every address
// CheckSourceAddress accepts.
std::string SourceLineOf(std::string_view address, SourceKind kind);

// The sources of the system's scheduled update (run as root or SYSTEM) are web addresses
// only: a local path or a file:// address would have the system read a file the user who
// gave the list chose, and a relative path would be read from the system's folder. "" when
// every source is one, else, for the first that is not, "ligne N: ", why (kSystemRelativeSource
// for a relative path, kSystemLocalSource for another local source), ": " and its address.
inline constexpr std::string_view kSystemLocalSource = "source locale refusee pour la mise a jour du systeme";
inline constexpr std::string_view kSystemRelativeSource = "chemin relatif refuse pour la mise a jour du systeme";
std::string CheckSystemSources(const std::vector<Source>& sources);

// For kFile and kPath: the file's path on this system ("" for the others). A file:// address
// loses its host "localhost", is decoded (%XX, but for "%00", which stays) and, for
// "file:///C:/x" on Windows, loses the slash before the drive; another host gives
// "//host/path". A relative plain path is taken from `sources_folder` (the sources file's
// folder, with its trailing separator).
std::string LocalSourcePath(const Source& source, std::string_view sources_folder);

}  // namespace quorvale
