#include "cli/update_run.h"

#include <ctime>

#include "cli/cli_runner.h"
#include "core/sources_file.h"
#include "core/update_record.h"
#include "update/update_status.h"
#include "update/update_texts.h"

namespace quorvale {

namespace {

// The line of one source: what its fetch did.
std::string SourceLine(const SourceResult& result) { return result.source.address + ": " + SourceOutcomeText(result); }

}  // namespace

int CliUpdate::Fetch(const std::string& sources_path, const FetchSettings& settings, bool quiet) {
  places_ = PlacesOf(platform_, sources_path);
  std::vector<Source> sources;
  std::string error;
  std::vector<std::string> skipped;
  if (!ReadSources(platform_, places_, &sources, &error, &skipped)) {
    say_(error);
    return kExitFile;
  }
  for (const std::string& line : skipped) say_(line);
  skipped_lines_ = skipped.size();
  if (sources.empty()) {
    say_(places_.sources_path + ": aucune source");
    return kExitFile;
  }
  results_ = FetchSources(platform_, places_, sources, settings);
  active_ = true;

  bool any_new = false;
  for (const SourceResult& result : results_) any_new = any_new || !result.pending_path.empty();
  // Whether a new body is taken, and the entries it gives, are the load's: it comes first.
  int status = kExitOk;
  if (any_new) {
    status = EnsureLoaded();
  } else {
    inputs_digest_ = UpdateInputsDigest(platform_, places_, results_);
  }
  bool any_copy = false;
  for (const SourceResult& result : results_) any_copy = any_copy || result.has_copy;
  for (const SourceResult& result : results_) {
    if (quiet && result.outcome != SourceResult::Outcome::kFailed) continue;
    say_(SourceLine(result));
    if (!quiet && result.source.scheme == Source::Scheme::kHttp) {
      say_(result.source.address + ": http n'est pas protege, la liste a pu etre modifiee en chemin");
    }
  }
  if (status != kExitOk) return status;
  if (!any_copy) {
    say_("aucune source n'a pu etre obtenue, rien n'est charge");
    return kExitFile;
  }
  return kExitOk;
}

int CliUpdate::EnsureLoaded() {
  if (!active_ || loaded_) return kExitOk;
  loaded_ = true;
  size_t allowed = 0;
  const std::int32_t rows_before = static_cast<std::int32_t>(session_.RowCount());
  Status status = LoadUpdate(platform_, places_, results_, session_, {}, &allowed,
                             [this](const SourceResult&) { return accept_shrink_; });
  inputs_digest_ = UpdateInputsDigest(platform_, places_, results_);
  if (!status.ok()) {
    say_(UpdateLoadFailureText(status));
    return kExitFile;
  }
  entries_ = static_cast<std::int64_t>(session_.RowCount()) - rows_before;
  return kExitOk;
}

bool CliUpdate::NothingChanged(const std::string& target, const std::string& options) {
  write_options_ = options;
  for (const WrittenFile& record : ReadWrittenFiles(platform_, places_)) {
    if (record.target != target) continue;
    const std::string now = FileDigest(platform_, target);
    written_by_update_ = now == record.file_digest;
    if (written_by_update_) {
      if (other_loads_ || record.inputs_digest != WriteKey()) return false;
      if (entries_ < 0) entries_ = record.entries;
      outcomes_.push_back("rien n'a change, rien n'est ecrit");
      return true;
    }
    say_(target + " a ete modifie par un autre programme depuis la derniere mise a jour; il est reecrit");
    return false;
  }
  return false;
}

void CliUpdate::Written(const std::string& target, const std::string& file_digest) {
  std::vector<WrittenFile> files = ReadWrittenFiles(platform_, places_);
  RecordWrittenFile(&files, WrittenFile{target, WriteKey(), file_digest, entries_});
  Status status = SaveWrittenFiles(platform_, places_, files);
  if (!status.ok()) say_("le cache n'a pas pu noter l'ecriture: " + status.ToString());
  outcomes_.push_back("ecrit: " + target);
}

void CliUpdate::KeepCurrentRedirections(const std::string& hosts_path) {
  // A file still as an update wrote it holds no line of the machine's that own.txt lacks; its
  // redirections that no source gives any more are left out.
  if (written_by_update_) return;
  kept_ = quorvale::KeepCurrentRedirections(platform_, places_, hosts_path, session_);
}

int CliUpdate::SaveKeptRedirections(bool quiet) {
  const Status saved = quorvale::SaveKeptRedirections(platform_, kept_);
  if (!kept_.lines.empty() && (!quiet || !saved.ok())) say_(KeptLinesText(kept_.lines.size(), saved));
  if (!saved.ok()) return kExitFile;
  if (!kept_.lines.empty()) inputs_digest_ = UpdateInputsDigest(platform_, places_, results_);
  return kExitOk;
}

int CliUpdate::Finish(int status, bool quiet) {
  if (!active_) return status;
  size_t had = 0;
  for (const SourceResult& result : results_) had += result.outcome != SourceResult::Outcome::kFailed;
  std::string summary = UpdateSummaryText(had, results_.size());
  if (entries_ >= 0) summary += ", " + std::to_string(entries_) + " entrees en tout";
  for (const std::string& outcome : outcomes_) summary += "; " + outcome;
  if (status == kExitOk && (had < results_.size() || skipped_lines_ > 0)) status = kExitSomeSourcesFailed;
  SaveUpdateStatus(platform_, places_, results_, loaded_);
  if (!quiet) say_(summary);
  const char* result = status == kExitOk ? "ok" : status == kExitSomeSourcesFailed ? "sources en echec" : "echec";
  LogUpdate(platform_, places_, DateText(std::time(nullptr)) + "\t" + result + "\t" + summary);
  return status;
}

int ExplainName(Platform& platform, const std::string& sources_path, const std::string& name,
                const std::function<void(const std::string& line)>& out, const CliUpdate::SayFn& say) {
  std::vector<std::string> lines;
  std::string error;
  const bool explained = ExplainName(platform, sources_path, name, &lines, &error);
  for (const std::string& line : lines) out(line);
  if (explained) return kExitOk;
  say(error);
  return kExitFile;
}

}  // namespace quorvale
