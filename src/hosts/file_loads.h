#pragma once

#include <string>
#include <vector>

#include "core/name_rules.h"
#include "core/session.h"
#include "core/sort_buffer.h"
#include "core/status.h"
#include "core/yield.h"
#include "platform/file_read.h"
#include "platform/platform.h"

// The core's loads over files read by name (platform/file_read.h).

namespace quorvale {

// The loads of a file by name, as ParseHostsPieces, ParseDomainListPieces,
// ParseNamesToRemovePieces and LoadDomainOnlyPieces load its pieces. Failures name the
// file. `*changed`, when given, is set true when the file was changed while it was read
// (see LinePieces::changed_while_read).
//
// A HOSTS file that cannot be opened (or is not of the `kinds` allowed) fails the load, and
// nothing is added. `www` as for ParseHostsPieces.
Status ParseHostsFile(Platform& platform, const std::string& path, Session& session, const YieldFn& yield = {},
                      InputKinds kinds = InputKinds::kRegularFiles, bool* changed = nullptr,
                      WwwListing www = WwwListing::kIgnore);
// A plain list that cannot be opened is treated as an empty file (one empty, rejected line);
// the returned status still says why, for callers that want to know.
Status ParseDomainList(Platform& platform, const std::string& path, Session& session, const YieldFn& yield = {},
                       InputKinds kinds = InputKinds::kRegularFiles, bool* changed = nullptr);
Status ParseNamesToRemove(Platform& platform, const std::string& path, Session& session, InputKinds kinds,
                          bool* changed = nullptr);
// A domain-only file that cannot be opened fails the load with the reason.
Status LoadDomainOnlyFile(Platform& platform, const std::string& path, SortBuffer& buffer, const YieldFn& yield = {},
                          InputKinds kinds = InputKinds::kRegularFiles, bool* changed = nullptr);

// The lines that a replace of the HOSTS file at `path` keeps (LinesToCarry). A file that does
// not exist has nothing to keep (Ok, no lines); one that exists but cannot be read fails.
Status ReadLinesToCarry(Platform& platform, const std::string& path, std::vector<std::string>* lines);

}  // namespace quorvale
