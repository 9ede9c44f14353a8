#pragma once

#include <new>

#include "item_reader.h"
#include "rejected_lines.h"
#include "session.h"
#include "status.h"

namespace quorvale {

// One load of a file into the session's lists, from its start to its result. EntriesLoaded
// counts from 0; the lines that give no entry go to RejectedLines through rejected().
class ListLoad {
 public:
  explicit ListLoad(Session& session)
      : session_(session),
        mark1_(session.blocked.MarkNow()),
        mark2_(session.redirected.MarkNow()),
        rejected_(session.RejectedLines) {
    session.EntriesLoaded = 0;
  }
  ListLoad(const ListLoad&) = delete;
  ListLoad& operator=(const ListLoad&) = delete;

  RejectedLineSink& rejected() { return rejected_; }

  // Runs `read`, which reads every item of `pieces`, and returns how the reading ended (a
  // read error, or kNoMemory when memory ran out). A load that fails adds nothing: the lists
  // are as they were, RejectedLines is back to one empty element and EntriesLoaded is 0.
  template <typename ReadFn>
  Status Run(const LinePieces& pieces, ReadFn&& read) {
    Status status;
    try {
      read();
      status = pieces.status();
    } catch (const std::bad_alloc&) {
      status = OutOfMemory("");
    }
    if (!status.ok()) {
      session_.blocked.RollBack(mark1_);
      session_.redirected.RollBack(mark2_);
      session_.ResetRejectedLines();
      session_.EntriesLoaded = 0;
    }
    return status;
  }

 private:
  Session& session_;
  const EntryList::Mark mark1_;
  const EntryList::Mark mark2_;
  RejectedLineSink rejected_;
};

}  // namespace quorvale
