#pragma once

#include <cstddef>
#include <string_view>

#include "domain_parser.h"
#include "hosts_parser.h"

// The kinds of source an update reads, one row each in kSourceKinds: a new kind is a value of
// SourceKind, its row here, and its captions beside the windows' other captions.

namespace quorvale {

// How a source's copy is read: as a HOSTS file, or as a plain list of names (the way
// "Charger des noms de domaines" reads one). In the order of kSourceKinds.
enum class SourceKind { kHosts, kDomains };

// A source whose line names no kind is of this one.
inline constexpr SourceKind kDefaultSourceKind = SourceKind::kHosts;

struct SourceKindRow {
  SourceKind kind;
  // The word of the kind in the sources file (read in any case) and in the copy's file name.
  std::string_view word;
  // Reads a list of this kind into the session's lists, as an update loads it.
  Status (*parse)(LinePieces& pieces, Session& session, const YieldFn& yield, WwwListing www);
};

inline constexpr SourceKindRow kSourceKinds[] = {
    {SourceKind::kHosts, "hosts", ParseHostsPieces},
    {SourceKind::kDomains, "domains", ParseDomainListPieces},
};

constexpr const SourceKindRow& RowOf(SourceKind kind) { return kSourceKinds[static_cast<std::size_t>(kind)]; }

constexpr bool KindsInEnumOrder() {
  for (std::size_t i = 0; i < std::size(kSourceKinds); ++i) {
    if (static_cast<std::size_t>(kSourceKinds[i].kind) != i) return false;
  }
  return true;
}
static_assert(KindsInEnumOrder(), "the rows of kSourceKinds follow SourceKind");

// The word of a kind as the file spells it: "hosts" or "domains".
constexpr std::string_view SourceKindWord(SourceKind kind) { return RowOf(kind).word; }

// The kind whose word `word` is, in any case; false when none is.
bool KindOfWord(std::string_view word, SourceKind* kind);

}  // namespace quorvale
