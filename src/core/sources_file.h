#pragma once

#include <string>
#include <string_view>
#include <vector>

// The sources file: the lists an update downloads, one a line, "ADDRESS [KIND]".

namespace quorvale {

// How a source's copy is read: as a HOSTS file, or as a plain list of names (the way
// "Charger des noms de domaines" reads one).
enum class SourceKind { kHosts, kDomains };

struct Source {
  enum class Scheme { kHttps, kHttp, kFile, kPath };
  int line_number = 0;  // in the sources file, from 1
  std::string address;  // as written
  Scheme scheme = Scheme::kHttps;
  SourceKind kind = SourceKind::kHosts;
};

// Reads a sources file: blank lines and lines whose first non-blank character is "#" are
// skipped; every other line is an address (https://, http://, file:// or a plain path),
// then optionally "hosts" (the default) or "domains", separated by spaces or tabs. The first
// malformed line stops the reading: false, and `*error` says which line and why, in French
// ("ligne 3: ..."). A UTF-8 byte-order mark at the start is ignored.
bool ParseSourcesFile(std::string_view text, std::vector<Source>* sources, std::string* error);

// The same check for one address given alone (the window's source editor): "" when it is
// good, else the reason as ParseSourcesFile words it, without "ligne N: ". An address alone
// may also be refused as "adresse vide", "espace dans l'adresse" (a space or tab) or
// "caractere de controle dans l'adresse".
std::string CheckSourceAddress(std::string_view address);

// The sources of the system's scheduled update (run as root or SYSTEM) are web addresses
// only: a local path or a file:// address would have the system read a file the user who
// gave the list chose, and a relative path would be read from the system's folder. "" when
// every source is one, else, for the first that is not, "ligne N: ", why (kSystemRelativeSource
// for a relative path, kSystemLocalSource for another local source), ": " and its address.
inline constexpr std::string_view kSystemLocalSource = "source locale refusee pour la mise a jour du systeme";
inline constexpr std::string_view kSystemRelativeSource = "chemin relatif refuse pour la mise a jour du systeme";
std::string CheckSystemSources(const std::vector<Source>& sources);

// The word of a kind as the file spells it: "hosts" or "domains".
std::string_view SourceKindWord(SourceKind kind);

// For kFile and kPath: the file's path on this system ("" for the others). A file:// address
// loses its host "localhost", is decoded (%XX, but for "%00", which stays) and, for
// "file:///C:/x" on Windows, loses the slash before the drive; another host gives
// "//host/path". A relative plain path is taken from `sources_folder` (the sources file's
// folder, with its trailing separator).
std::string LocalSourcePath(const Source& source, std::string_view sources_folder);

}  // namespace quorvale
