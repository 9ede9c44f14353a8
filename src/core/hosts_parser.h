#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "item_reader.h"
#include "name_rules.h"
#include "session.h"
#include "status.h"
#include "yield.h"

namespace quorvale {

// Parses a HOSTS-format file, handed out a piece at a time, into the session's lists. Lines
// redirected to exactly "127.0.0.1" or "0.0.0.0" go to `blocked`, any other valid address to
// `redirected`; every line that gives no entry is stored, trimmed of spaces, in RejectedLines from
// index 0 (the caller has reset it to one empty element). EntriesLoaded counts the accepted
// lines, duplicates included. When reading fails half-way or memory runs out, the lists, the
// rejected lines (back to one empty element) and the count are as if nothing had been read,
// and the read error (or kNoMemory) is returned. With WwwListing::kFlag, a line whose name
// came with "www." in front flags its row (also a row already present) "listed with www.".
Status ParseHostsPieces(LinePieces& pieces, Session& session, const YieldFn& yield = {},
                        WwwListing www = WwwListing::kIgnore);

// The same over data already in memory.
void ParseHostsData(std::string_view data, Session& session, const YieldFn& yield = {},
                    WwwListing www = WwwListing::kIgnore);

// The lines of a HOSTS file that a replace of it keeps, because the lists can never hold
// them: verbatim and in file order, every physical line (split at CR, LF or CR LF, not at
// commas; without its line end) that is not blank (only spaces and tabs), not a comment (its
// first character other than a space or tab is "#") and of which no item gives an entry by
// the rules of ParseHostsPieces. A line whose items give entries only in part ("127.0.0.1
// a.com,b c") is not kept: its entries are already in the lists, and keeping it would write
// them twice. A UTF-8 byte-order mark at the start is not part of the first line.
std::vector<std::string> LinesToCarry(std::string_view hosts_file_bytes);

// Whether one physical line (without its line end) gives entries and nothing else: it is not
// blank, not a comment, and each of its items gives an entry by the rules of
// ParseHostsPieces.
bool GivesOnlyEntries(std::string_view line);

}  // namespace quorvale
