#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/session.h"
#include "core/update_record.h"
#include "update/kept_redirections.h"
#include "platform/platform.h"
#include "update/source_update.h"

namespace quorvale {

// An exit status of its own: some sources failed (their last good copies, when there were
// some, were used), everything else went well.
inline constexpr int kExitSomeSourcesFailed = 3;

// The --update of a quorvale-cli run and the writes that follow it: which sources were had,
// whether the lists hold them yet, whether a write has anything new to write, and the
// summary at the end.
class CliUpdate {
 public:
  using SayFn = std::function<void(const std::string& text)>;
  CliUpdate(Platform& platform, Session& session, SayFn say) : platform_(platform), session_(session), say_(std::move(say)) {}

  // Reads the sources file and fetches every source, saying what became of each (only the
  // failures when `quiet`) after each malformed line it leaves out. The copies are loaded at once when one of them is new, otherwise
  // when something needs the lists (EnsureLoaded). Returns the exit status: kExitFile for a
  // malformed sources file or when no source could be had at all.
  int Fetch(const std::string& sources_path, const FetchSettings& settings, bool quiet);
  bool active() const { return active_; }
  // What else the run does: `accept_shrink` takes every new body that holds no entry or less
  // than half the entries of the last good copy (--accept-shrink); `other_loads` (another
  // load in the run, which may change what is written) turns the "nothing changed" shortcut
  // off.
  void SetRunRules(bool accept_shrink, bool other_loads) {
    accept_shrink_ = accept_shrink;
    other_loads_ = other_loads;
  }
  // Loads the update into the lists when it is not done yet; the exit status.
  int EnsureLoaded();

  // Before a write of `target` with `options` (the write's kind and options as text): true
  // when nothing else of the run can change the output, the inputs, the options and the
  // output format are those of the update that wrote `target` last and the file is still
  // what it wrote; the write is then left out. Otherwise says when `target` was changed by
  // someone else since.
  bool NothingChanged(const std::string& target, const std::string& options);
  // After `target` was written with the bytes whose digest is `file_digest`.
  void Written(const std::string& target, const std::string& file_digest);
  // Before the replace of the HOSTS file at `hosts_path`: its redirections that the update's
  // lists would drop go into them (KeepCurrentRedirections), unless NothingChanged found the
  // file as an update wrote it.
  void KeepCurrentRedirections(const std::string& hosts_path);
  // Once that replace is done, before Written: the kept lines go into own.txt, which the
  // write's record then counts among its inputs, and the outcome is said (a success not when
  // `quiet`). kExitFile when own.txt could not take them.
  int SaveKeptRedirections(bool quiet);

  // The summary line and the update log's line; `status` is the run's exit status so far,
  // and the result is the run's: kExitSomeSourcesFailed instead of success when a source
  // failed or a line of the sources file was left out. Writes the update's status file.
  int Finish(int status, bool quiet);

 private:
  std::string WriteKey() const {
    return std::to_string(kOutputFormatVersion) + " " + inputs_digest_ + " " + write_options_;
  }

  Platform& platform_;
  Session& session_;
  SayFn say_;
  bool active_ = false;
  bool loaded_ = false;
  bool accept_shrink_ = false;
  bool other_loads_ = false;
  UpdatePlaces places_;
  std::vector<SourceResult> results_;
  std::string inputs_digest_;
  std::string write_options_;  // NothingChanged's options, for the write that follows
  KeptRedirections kept_;
  bool written_by_update_ = false;  // NothingChanged found its target as this sources' update wrote it
  std::int64_t entries_ = -1;  // what the lists got from the update; -1 before the load
  std::vector<std::string> outcomes_;  // what became of each write, for the summary
  size_t skipped_lines_ = 0;           // malformed lines of the sources file, left out
};

// --why NAME: which sources hold NAME (from the cache only), whether allow.txt takes it
// out, and which list it lands in; the lines go to `out`. The exit status.
int ExplainName(Platform& platform, const std::string& sources_path, const std::string& name,
                const std::function<void(const std::string& line)>& out, const CliUpdate::SayFn& say);

}  // namespace quorvale
