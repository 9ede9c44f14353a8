#pragma once

#include <string>
#include <vector>

#include "core/item_reader.h"
#include "core/name_rules.h"
#include "core/session.h"
#include "core/sort_buffer.h"
#include "core/status.h"
#include "core/yield.h"
#include "platform/platform.h"

// Reads of files by name, through Platform::OpenSequentialFile, and the core's loads over them.

namespace quorvale {

// What a read hands out: the file's text (a UTF-16 file decoded to UTF-8, anything else as
// it is), or its bytes exactly as stored (for a copy).
enum class ReadAs { kText, kBytes };

// Reads a whole file into `out` (replacing its contents); on failure `out` is empty.
Status ReadFileBytes(Platform& platform, const std::string& path, std::string* out, ReadAs as = ReadAs::kText,
                     InputKinds kinds = InputKinds::kRegularFiles);

// Opens the file at `path` as `pieces`, which reads it a piece at a time.
Status OpenPieces(Platform& platform, const std::string& path, InputKinds kinds, FilePieces* pieces);

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
