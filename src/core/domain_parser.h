#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "item_reader.h"
#include "name_rules.h"
#include "session.h"
#include "sort_buffer.h"
#include "status.h"
#include "yield.h"

namespace quorvale {

// Plain list of domain names, handed out a piece at a time, into `blocked` (address
// "127.0.0.1"); unusable lines go to RejectedLines untrimmed (the caller reset it to one empty
// element); EntriesLoaded counts accepted lines, duplicates included. When reading fails
// half-way or memory runs out, `blocked` and the rejected lines are as after an empty file, and
// the read error (or kNoMemory) is returned. `www` as for ParseHostsPieces.
Status ParseDomainListPieces(LinePieces& pieces, Session& session, const YieldFn& yield = {},
                             WwwListing www = WwwListing::kIgnore);
void ParseDomainListData(std::string_view data, Session& session, const YieldFn& yield = {},
                         WwwListing www = WwwListing::kIgnore);
// The names to take out of the lists (RemoveNames), read into `blocked` as ParseDomainListPieces
// reads a list, but for the letter a name needs: names to remove are compared without regard
// to case, so "ADS.EXAMPLE.COM" is a name as well as "ads.example.com".
Status ParseNamesToRemovePieces(LinePieces& pieces, Session& session);

// Domain-only file, handed out a piece at a time, appended to the sort buffer (lower-cased,
// "127.0.0.1"/"0.0.0.0" prefixes and "www." removed, " #[" comments kept). Fails with kEmpty
// on an empty file, with the read error when the file cannot be read to its end and with
// kNoMemory when memory runs out; entries appended by earlier loads stay, and a failed load
// appends nothing.
Status LoadDomainOnlyPieces(LinePieces& pieces, SortBuffer& buffer, const YieldFn& yield = {});
Status LoadDomainOnlyData(std::string_view data, SortBuffer& buffer, const YieldFn& yield = {});

}  // namespace quorvale
