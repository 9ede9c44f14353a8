#pragma once

#include <string>
#include <vector>

#include "core/kept_lines.h"
#include "core/session.h"
#include "core/status.h"
#include "platform/platform.h"
#include "update/source_update.h"

namespace quorvale {

// The redirections of the current HOSTS file that an update's replace keeps, and where they go.
struct KeptRedirections {
  std::string own_path;      // own.txt beside the sources file
  std::string sources_path;  // whose owner and mode a new own.txt takes
  std::vector<KeptLine> lines;
};

// Before a replace of the HOSTS file at `hosts_path` by the lists of an update (`session`, as
// LoadUpdate loaded them from `places`): the redirections of the current file that the lists
// would drop (RedirectionsToKeep, with allow.txt read as the load reads it) are added to
// session.redirected, so that the replace writes them. A file that cannot be read keeps
// nothing: the replace itself then says why.
KeptRedirections KeepCurrentRedirections(Platform& platform, const UpdatePlaces& places, const std::string& hosts_path,
                                         Session& session);

// Once the replace is done: appends the kept lines to own.txt (OwnFileWithKeptLines, the
// header's date) in one atomic write that replaces a link of that name instead of following
// it; an own.txt made here is owned like the sources file. An own.txt that is a link, a folder
// or a device is refused, unread. Ok when nothing was kept.
Status SaveKeptRedirections(Platform& platform, const KeptRedirections& kept);

}  // namespace quorvale
