#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "entry_list.h"
#include "session.h"

// The machine's own lines through an update: a replace of the HOSTS file by the lists of an
// update keeps the redirections of the file it replaces (127.0.1.1 for the machine's name, a
// NAS on the local network) by adding them to own.txt, which every later update loads first.

namespace quorvale {

// One redirection of the current HOSTS file, as its load reads it (the name lower-cased, the
// comment from its "#").
struct KeptLine {
  std::string address;
  std::string name;
  std::string description;
};

// The redirections of the HOSTS file `hosts_bytes` (the rows its load puts in the second list:
// an address other than the blocking ones) that neither list of `lists` holds and that
// `allowed` (the names of allow.txt, as RemoveNames takes them out) does not name, in name
// order.
std::vector<KeptLine> RedirectionsToKeep(std::string_view hosts_bytes, const Session& lists, const EntryList& allowed);

// own.txt's bytes `own` with `kept` appended: a last line without its line end gets one, then
// the comment line naming `date_text`, then one line "ADDRESS NAME" per kept line (" COMMENT"
// after it when it has one), every line ending with CR LF.
std::string OwnFileWithKeptLines(std::string_view own, const std::vector<KeptLine>& kept, std::string_view date_text);

}  // namespace quorvale
