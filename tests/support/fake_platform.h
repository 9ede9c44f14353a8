#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/hosts_writer.h"
#include "platform/platform.h"

namespace quorvale::testing {

// The real platform for files, with everything else recorded or faked: attribute changes
// are recorded (and applied to real files), sleeps are skipped, programs are never started,
// the paths of the system and of the program are chosen by the test.
class FakePlatform : public Platform {
 public:
  FakePlatform();

  // Test settings.
  std::string system_dir;
  std::string hosts_path;
  std::string executable_path = "/opt/quorvale/quorvale";
  std::string user_data_folder;
  std::string config_folder;  // what ConfigFolder gives
  std::string cache_folder;   // what CacheFolder gives
  std::string system_sources_folder;  // what SystemSourcesFolder gives
  bool elevated = false;      // what IsElevated gives
  bool run_programs = false;  // RunProgram runs the programs for real (they are recorded still)
  int program_exit_code = 0;  // else the exit code RunProgram gives
  bool replace_in_place = true;  // what CanReplaceInPlace gives
  // OnlyAdministratorsCanChange is false for these paths, true for any other.
  std::vector<std::string> changeable_by_others;
  // When set, RunElevated gives this instead of running anything through the system's way
  // (pkexec on PATH, UAC).
  std::function<ElevatedRun()> elevated_run;
  std::string user_name = "alice";
  std::string system_info_tool;  // what SystemInfoToolPath gives
  std::vector<std::string> locked_files;  // see LockedByAccessList
  bool start_program_fails = false;
  // When set, the replace lock is held by another run: LockForReplace calls its `waiting`
  // once and gives kBusy at once.
  bool replace_lock_busy = false;
  // Attribute changes of these paths are refused with kAccessDenied (and recorded).
  std::vector<std::string> refused_attributes;
  // When set, every write to a path in this set fails with kAccessDenied (the old file stays).
  std::vector<std::string> failing_writes;
  // Every opening of a path in this set for reading fails with kAccessDenied.
  std::vector<std::string> failing_reads;
  // When set, hears every call of the kinds "attributes PATH N", "sleep N", "exists PATH",
  // "start PROGRAM", "write PATH" and "lock PATH" before it is made, so that a test can look at the
  // windows at that moment or log the order of the calls.
  std::function<void(const std::string& call)> watch;
  // What FlushDnsCache reports (nothing is flushed).
  DnsFlushOutcome dns_flush{DnsFlushOutcome::Kind::kNotDone, {}, Status(ErrorCode::kNotSupported, "", "")};

  // What happened.
  std::vector<std::pair<std::string, int>> attribute_calls;
  std::vector<int> sleeps;
  std::vector<std::vector<std::string>> started;  // argument vectors of StartProgram
  std::vector<bool> started_hidden;
  std::vector<std::string> shown_files;
  std::vector<std::string> opened_urls;
  std::vector<int> dns_flush_waits;  // the wait of each FlushDnsCache call

  std::string GetSystemDir() override { return system_dir; }
  std::string HostsPath() override { return hosts_path; }
  std::string ExecutablePath() override { return executable_path; }
  std::string UserDataFolder() override { return user_data_folder; }
  Status SetAttributes(const std::string& path, int attributes) override;
  int GetAttributes(const std::string& path) override { return real_->GetAttributes(path); }
  bool PathExists(const std::string& path) override;
  void Sleep(int milliseconds) override;
  Status StartProgram(const std::vector<std::string>& argv, bool hidden) override;
  Status ShowTextFile(const std::string& path) override;
  Status OpenUrl(const std::string& url) override;
  std::string GetCurrentUserName() override { return user_name; }
  std::string SystemInfoToolPath() override { return system_info_tool; }
  // On POSIX: heard as "acl PATH USER", and the files of `locked_files` are locked for all.
  std::optional<bool> LockedByAccessList(const std::string& path, const std::string& user) override {
    if (!real_->LockedByAccessList(path, user).has_value()) return std::nullopt;
    Watch("acl " + path + " " + user);
    return std::find(locked_files.begin(), locked_files.end(), path) != locked_files.end();
  }
  Status WriteFileAtomic(const std::string& path, std::string_view bytes) override;
  Status WriteFileAtomicNoFollow(const std::string& path, std::string_view bytes) override;
  Status OpenSequentialFile(const std::string& path, InputKinds kinds,
                            std::unique_ptr<SequentialFile>* file) override;
  Status CopyToNewFile(const std::string& from, const std::string& to) override {
    return real_->CopyToNewFile(from, to);
  }
  Status ReadRegularFile(const std::string& path, std::string* bytes) override {
    return real_->ReadRegularFile(path, bytes);
  }
  // Recorded as the attribute change that makes the file normal, as Windows makes it.
  Status PrepareReplace(const std::string& path) override { return SetAttributes(path, kAttrNormal); }
  Status ReplaceProtectedFile(const std::string& path, const FileContents& contents, int attributes) override;
  Status LockForReplace(const std::string& path, int timeout_milliseconds, const std::function<void()>& waiting,
                        std::unique_ptr<HeldLock>* lock) override;
  EntryFacts FactsOf(const std::string& path) override { return real_->FactsOf(path); }
  Status RemoveFile(const std::string& path) override { return real_->RemoveFile(path); }
  std::vector<std::string> ListFolder(const std::string& folder) override { return real_->ListFolder(folder); }
  std::int64_t FileModifiedTime(const std::string& path) override { return real_->FileModifiedTime(path); }
  std::int64_t FileSize(const std::string& path) override { return real_->FileSize(path); }
  DnsFlushOutcome FlushDnsCache(int wait_milliseconds) override {
    dns_flush_waits.push_back(wait_milliseconds);
    return dns_flush;
  }
  // The POSIX platform's text on every system, so that the tests under Wine expect the same
  // headers.
  std::string LocalDateTimeText() override { return LocaleDateTimeText(HeaderMoment()); }
  std::string AnsiToUtf8(std::string_view bytes) override { return real_->AnsiToUtf8(bytes); }
  // Scripted downloads by address; an address without one is refused as a closed port would
  // be. A scripted kCancelled failure stands for a download that goes on, reporting its
  // body's size, until it is told to stop.
  std::map<std::string, DownloadResult> downloads;
  DownloadResult Download(const DownloadRequest& request, const DownloadProgress& progress) override;
  std::string ConfigFolder() override { return config_folder; }
  std::string CacheFolder() override { return cache_folder; }
  std::string SystemSourcesFolder() override { return system_sources_folder; }
  Status MakeFolders(const std::string& path) override { return real_->MakeFolders(path); }
  std::string AbsolutePath(const std::string& path) override { return real_->AbsolutePath(path); }
  std::string CanonicalPath(const std::string& path) override { return real_->CanonicalPath(path); }
  bool IsElevated() override { return elevated; }
  Status RunProgram(const std::vector<std::string>& argv, int wait_milliseconds, int* exit_code) override {
    started.push_back(argv);
    if (run_programs) return real_->RunProgram(argv, wait_milliseconds, exit_code);
    *exit_code = program_exit_code;
    return Status::Ok();
  }
#ifndef _WIN32
  // Runs nothing: gives `program_output`, else the line of hosts_path (as `where` prints it).
  std::optional<std::string> program_output;
  Status ReadProgramOutput(const std::vector<std::string>&, int, std::string* output) override {
    *output = program_output.value_or(hosts_path + "\n");
    return Status::Ok();
  }
#endif
  bool CanReplaceInPlace(const std::string&) override { return replace_in_place; }
  bool CanRunElevated() override { return elevated_run != nullptr || real_->CanRunElevated(); }
  // A plain folder: the Windows tests read the real one's access list.
  Status MakeAdministratorsFolder(const std::string& path) override { return real_->MakeFolders(path); }
  bool OnlyAdministratorsCanChange(const std::string& path) override {
    return std::find(changeable_by_others.begin(), changeable_by_others.end(), path) == changeable_by_others.end();
  }
  ElevatedRun RunElevated(const std::string& program, const std::vector<std::string>& args, const FileContents* input,
                          const std::function<void()>& waiting) override {
    elevated_runs.push_back(args);
    elevated_inputs.emplace_back();
    if (input != nullptr) (*input)(AppendTo(&elevated_inputs.back()));
    return elevated_run ? elevated_run() : real_->RunElevated(program, args, input, waiting);
  }
  std::vector<std::vector<std::string>> elevated_runs;  // the arguments of each RunElevated
  std::vector<std::string> elevated_inputs;             // and its input

 private:
  void Watch(const std::string& call);
  // Hears a write of `path`; its refusal when the test made writes there fail.
  Status BeforeWrite(const std::string& path);

  std::unique_ptr<Platform> real_;
};

}  // namespace quorvale::testing
