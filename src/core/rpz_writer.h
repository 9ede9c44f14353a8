#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "byte_sink.h"
#include "hosts_writer.h"
#include "session.h"
#include "yield.h"

namespace quorvale {

// The zone a network's resolvers load the lists from when the user names none.
inline constexpr std::string_view kDefaultRpzZone = "rpz.quorvale.";

// `zone` as the zone file's origin (with its final "."), or "" when it cannot
// name a zone: labels of ASCII letters, digits, "-" and "_", none empty nor
// over 63 bytes, 253 bytes at most without the final dot (which may be left out).
std::string RpzZoneName(std::string_view zone);

// The serial of the SOA record at the top of a zone file (`zone_head`, its
// first bytes), 0 when there is none.
uint32_t RpzSerialIn(std::string_view zone_head);
// The serial of the next write: the previous one plus 1, or the day's
// YYYYMMDD00 when that is more, so that it never goes back, even when the clock
// does.
uint32_t NextRpzSerial(uint32_t previous, int year, int month, int day);

struct RpzZone {
  std::string origin;  // as RpzZoneName gives it
  uint32_t serial = 0;
  // Whether every written name's line is followed by the same line for the names below it.
  bool wildcards = false;
};

// A response policy zone of both lists, as FormatHostsFile sees them (the same
// rows and "www." twins, `options.add_www` read): the origin, the TTL, SOA and
// NS lines; then the redirections, `name A address` or `name AAAA address`, and
// their twins; then the blocked names, `name CNAME .`, and theirs. Names are
// written relative to the origin, without a final dot. A blocked name that
// `redirected` holds as well, with or without a final dot, is left to its
// redirection (its twin too when the redirection's is written). A redirection to a
// loopback address (127.0.0.0/8, ::1) is left out. An address that is not a
// plain IPv4 or IPv6 address, a name with an empty label, a label over 63
// bytes, a label starting with "rpz-" (the policy triggers' names), a byte
// other than a letter, digit, "-" or "_" between its dots, or a name over 253
// bytes once the origin follows it is left out too, and its line (address TAB
// name) appended to `rejected`. With `zone.wildcards`, every written line is followed by the
// same line for "*." and its name, which catches the names below it; a name whose "*." form
// would be over 253 bytes once the origin follows it keeps its own line and has no such line
// (nothing is said of it: the name itself is in the zone). Then comes, for each name of
// `session.allowed` (in its order) that the zone does not write but one of whose ancestors'
// "*." line it does, `name CNAME rpz-passthru.`, which lets it resolve; an allowed name that
// a zone file cannot hold as it is (see above) has none. Every line ends with LF.
bool FormatRpzZone(const Session& session, const WriteOptions& options, const RpzZone& zone, const ByteSink& sink,
                   std::vector<std::string>* rejected, const YieldFn& yield = {});
inline void FormatRpzZone(const Session& session, const WriteOptions& options, const RpzZone& zone, std::string* out,
                          std::vector<std::string>* rejected) {
  FormatRpzZone(session, options, zone, AppendTo(out), rejected);
}

}  // namespace quorvale
