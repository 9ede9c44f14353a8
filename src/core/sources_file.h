#pragma once

#include <string>
#include <string_view>
#include <utility>
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

// Why a line of the sources file, or an address given alone, is no source; the update's
// texts word it (SourceFaultText).
struct SourceFault {
  enum class Kind {
    kNone,
    kControlInLine,
    kTooManyFields,  // more than an address and a kind
    kUnclosedQuote,
    kNoBlankAfterQuote,  // the closing quote is followed by more than blanks
    kEmptyAddress,
    kControlInAddress,
    kTabInAddress,
    kByteOrderMarkInAddress,
    kIncompleteAddress,  // a known scheme and nothing after it: `fact` is the address
    kUnknownScheme,      // "letters://" of no known scheme: `fact` is the address
    kSpaceInAddress,     // in a web or file:// address
    kQuoteInAddress,     // in an address that must be written between quotes
    kUnknownKind,        // `fact` is the word
  };
  SourceFault() = default;
  SourceFault(Kind fault_kind, std::string fault_fact = {}) : kind(fault_kind), fact(std::move(fault_fact)) {}
  bool none() const { return kind == Kind::kNone; }

  Kind kind = Kind::kNone;
  std::string fact;
};

// A line of the sources file that no update can read.
struct MalformedSourceLine {
  int line_number = 0;  // from 1
  SourceFault fault;
};

// Reads a sources file: blank lines and lines whose first non-blank character is "#" are
// skipped; every other line is an address (https://, http://, file:// or a plain path),
// then optionally the word of its kind (kSourceKinds; kDefaultSourceKind when none),
// separated by spaces or tabs. A plain path that holds spaces is written between double
// quotes ("C:\Mes listes\a.txt" domains); any address may be. Each malformed line goes to
// `*malformed` and the reading goes on. A UTF-8 byte-order mark at the start is ignored.
void ReadSourcesFile(std::string_view text, std::vector<Source>* sources, std::vector<MalformedSourceLine>* malformed);

// The same reading, where the first malformed line stops it: false, no source, and `*first`
// says which line and why.
bool ParseSourcesFile(std::string_view text, std::vector<Source>* sources, MalformedSourceLine* first);

// The same check for one address given alone (the window's source editor): kNone when it is
// good, else the fault the file's reader finds in it, or kQuoteInAddress for one that must be
// written between quotes and holds one.
SourceFault CheckSourceAddress(std::string_view address);

// A source's line as the editor writes it: the address (between double quotes when it holds
// a space or starts with "#" or a quote), then " " and the kind's word ("domains") unless it
// is kDefaultSourceKind. The file's reader gives the address back as it was for every address
// CheckSourceAddress accepts.
std::string SourceLineOf(std::string_view address, SourceKind kind);

// The sources of the system's scheduled update (run as root or SYSTEM) are web addresses
// only: a local path or a file:// address would have the system read a file the user who
// gave the list chose, and a relative path would be read from the system's folder. The first
// source that is not one, and whether it is a relative path; no source when every one is.
struct SystemSourceRefusal {
  const Source* source = nullptr;
  bool relative = false;
};
SystemSourceRefusal CheckSystemSources(const std::vector<Source>& sources);

// For kFile and kPath: the file's path on this system ("" for the others). A file:// address
// loses its host "localhost", is decoded (%XX, but for "%00", which stays) and, for
// "file:///C:/x" on Windows, loses the slash before the drive; another host gives
// "//host/path". A relative plain path is taken from `sources_folder` (the sources file's
// folder, with its trailing separator).
std::string LocalSourcePath(const Source& source, std::string_view sources_folder);

}  // namespace quorvale
