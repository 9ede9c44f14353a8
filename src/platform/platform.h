#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/byte_sink.h"
#include "core/download.h"
#include "core/hosts_writer.h"
#include "core/sequential_file.h"
#include "core/status.h"

namespace quorvale {

// File attribute bits as the program uses them: the HOSTS file is protected with
// kAttrReadOnly | kAttrSystem after a replace, and with kAttrReadOnly | kAttrHidden |
// kAttrSystem when a replace is called off. On POSIX "normal" means writable by the owner
// and read-only removes every write bit; hidden and system have no effect.
inline constexpr int kAttrNormal = 0;
inline constexpr int kAttrReadOnly = 1;
inline constexpr int kAttrHidden = 2;
inline constexpr int kAttrSystem = 4;

// Whether the file system takes names that differ only in case for one name.
#ifdef _WIN32
inline constexpr bool kFileNamesIgnoreCase = true;
#else
inline constexpr bool kFileNamesIgnoreCase = false;
#endif

#ifndef _WIN32
// The system's folder of the scheduled update, which the package's timer service reads:
// Platform::SystemSourcesFolder, when $QUORVALE_SYSTEM_DIR does not move it.
inline constexpr std::string_view kUpdateTimerFolder = "/etc/quorvale/";
#endif

// What Platform::FlushDnsCache did.
struct DnsFlushOutcome {
  enum class Kind {
    kFlushed,  // a direct call emptied the cache
    kStarted,  // programs were started to empty it (`programs`)
    kNotDone,  // nothing could be done (`why`)
  };
  // A program started, and how it ended when the caller waited for it.
  struct Program {
    std::vector<std::string> argv;
    bool ended = false;  // it ended within the wait
    int exit_code = 0;   // once ended: its exit status (128 + the signal when a signal ended it)
  };
  Kind kind = Kind::kNotDone;
  std::vector<Program> programs;
  // For kNotDone: kNotSupported when the system has no DNS cache that the program knows how
  // to empty, otherwise why the call or the start of the program failed.
  Status why;
};

// How a run of a program with administrator rights (Platform::RunElevated) ended.
struct ElevatedRun {
  enum class Kind {
    kEnded,       // the program ran and ended with `exit_code`
    kRefused,     // the user cancelled the request for rights, or was refused them
    kNotStarted,  // the program could not be started (`why`)
  };
  Kind kind = Kind::kNotStarted;
  int exit_code = -1;
  // What the program said back (its standard error on POSIX, its pipe on Windows).
  std::string output;
  Status why;
};

// The one door to the operating system. Everything here may be replaced by a fake in tests.
class Platform {
 public:
  virtual ~Platform() = default;

  // The system directory without a trailing separator, "" when it cannot be found.
  virtual std::string GetSystemDir() = 0;
  // Full path of the system HOSTS file.
  virtual std::string HostsPath() = 0;
  // Full path of the running executable.
  virtual std::string ExecutablePath() = 0;
  // The per-user folder for the program's own files, with a trailing separator; "" when
  // there is none.
  virtual std::string UserDataFolder() = 0;

  virtual Status SetAttributes(const std::string& path, int attributes) = 0;
  // Reads back the attribute bits (POSIX: only read-only is meaningful); -1 when missing.
  virtual int GetAttributes(const std::string& path) = 0;
  virtual bool PathExists(const std::string& path) = 0;
  virtual void Sleep(int milliseconds) = 0;

  // Starts a program with an argument vector (never through a shell) and does not wait.
  // argv[0] is looked up as the system does (PATH). `hidden` asks for no window.
  virtual Status StartProgram(const std::vector<std::string>& argv, bool hidden) = 0;
  // Opens a text file in the system's viewer (notepad.exe, or the desktop's handler).
  virtual Status ShowTextFile(const std::string& path) = 0;
  // Opens a web address in the desktop's browser.
  virtual Status OpenUrl(const std::string& url) = 0;
  // The logon name of the current user ("" when unknown).
  virtual std::string GetCurrentUserName() = 0;
  // Whether the file at `path` is locked for the user named `user` (MainForm::ToggleLock's
  // lock), as its access list shows it on POSIX: an entry of that user's own without the
  // right to write. False for a missing file, an unknown user or a list that cannot be read.
  // nullopt on Windows, where the lock refuses the user any reading and is probed by reading.
  virtual std::optional<bool> LockedByAccessList(const std::string& path, const std::string& user) {
    (void)path;
    (void)user;
    return std::nullopt;
  }
  // The path of the system-information tool, as the system registers it (Windows: the
  // registry's MSINFO path, else MSINFO32.EXE in its registered folder when it is there); ""
  // when there is none.
  virtual std::string SystemInfoToolPath() = 0;

  // Writes `bytes` to a temporary file in the target's folder and renames it over the
  // target, keeping an existing target's mode, owner and access list where the platform
  // allows. On failure the old file is intact and no temporary file is left. An existing
  // target without any write permission, or that is not a regular file, is refused, even
  // for the superuser. The temporary file has no name until it is complete where the system
  // allows it (Linux), or is deleted by the system if the program ends before (Windows).
  virtual Status WriteFileAtomic(const std::string& path, std::string_view bytes) = 0;
  // The same write, with the bytes made as they go out, so that a big file is never held
  // whole in memory. This default gathers them first.
  virtual Status WriteFileAtomicInPieces(const std::string& path, const FileContents& contents) {
    std::string bytes;
    contents(AppendTo(&bytes));
    return WriteFileAtomic(path, bytes);
  }
  // Writes an output that the user named: a regular file, or a new one, as
  // WriteFileAtomicInPieces does; anything else that can be written (a device, a terminal, a
  // named pipe) in place, as the bytes are made, without a temporary file. A name of the
  // program's own open streams (/dev/stdout, /dev/fd/N) is written through that stream,
  // after what it took already, whatever it leads to. This default writes every output as a
  // file.
  virtual Status WriteOutput(const std::string& path, const FileContents& contents) {
    return WriteFileAtomicInPieces(path, contents);
  }
  // Writes as WriteFileAtomic does, except at a symbolic link (on Windows, any reparse point)
  // named `path`: the link itself is replaced by a new file of the user's and the file it
  // pointed to is left as it was. For the program's own files in folders that others may
  // write to, where a link must not steer the write to another file.
  virtual Status WriteFileAtomicNoFollow(const std::string& path, std::string_view bytes) = 0;
  // The same write, with the bytes made as they go out. This default gathers them first.
  virtual Status WriteFileAtomicInPiecesNoFollow(const std::string& path, const FileContents& contents) {
    std::string bytes;
    contents(AppendTo(&bytes));
    return WriteFileAtomicNoFollow(path, bytes);
  }
  // Writes as WriteFileAtomicNoFollow does; a new file (or one in place of a link) takes the
  // owner, group and permission bits of the file at `model` where the process may give them
  // (as root, a user's file written for that user stays the user's). An existing file keeps
  // its own. This default writes as WriteFileAtomicNoFollow.
  virtual Status WriteFileAtomicNoFollowOwnedLike(const std::string& path, std::string_view bytes,
                                                  const std::string& model) {
    (void)model;
    return WriteFileAtomicNoFollow(path, bytes);
  }
  // Writes as WriteFileAtomicNoFollow does, and the file ends as the process's own, which
  // only its owner may read or write (POSIX: mode 0600, no access list), whatever the file it
  // replaces allowed: for the copies of a user's files that an administrator keeps, which
  // may hold a token. This default keeps the rights WriteFileAtomicNoFollow gives.
  virtual Status WritePrivateFileNoFollow(const std::string& path, std::string_view bytes) {
    return WriteFileAtomicNoFollow(path, bytes);
  }
  // Writes as WriteFileAtomicNoFollow does, and the file ends as one that anyone may read and
  // only its owner change (POSIX: mode 0644 whatever the umask; Windows: SYSTEM and the
  // Administrators change it, the Users read it): for what the system's scheduled update
  // leaves for the users' windows. This default keeps the rights WriteFileAtomicNoFollow gives.
  virtual Status WritePublicFileNoFollow(const std::string& path, std::string_view bytes) {
    return WriteFileAtomicNoFollow(path, bytes);
  }
  // Opens the file at `path` to be read from its start, as `kinds` allows: a folder, a device
  // and (for kRegularFiles) a named pipe are refused without being read, a named pipe without
  // waiting for a writer. The reads of files by name (platform/file_read.h) go
  // through here.
  virtual Status OpenSequentialFile(const std::string& path, InputKinds kinds,
                                    std::unique_ptr<SequentialFile>* file) = 0;
  // Copies the file `from` byte for byte to the new file `to` (used for backups): the copy is
  // written under a temporary name and takes the name `to` only once complete, never in
  // place of an existing entry of that name (kExists then, and nothing is left). The copy
  // takes the owner, group, mode and access list of the file it copies (on Windows its
  // access list), as far as the user may give them.
  virtual Status CopyToNewFile(const std::string& from, const std::string& to) = 0;
  // Reads the whole file at `path` when the entry there is itself a regular file: a symbolic
  // link (on Windows any reparse point), a folder or a device is refused without being
  // followed or opened.
  virtual Status ReadRegularFile(const std::string& path, std::string* bytes) = 0;

  // Makes a protected file ready to be replaced where the system needs it: on Windows a
  // read-only file cannot be replaced, so its attributes become normal; on POSIX replacing a
  // file needs no permission on the file itself, and nothing is changed.
  virtual Status PrepareReplace(const std::string& path) = 0;
  // Writes `contents` over the file at `path` as WriteFileAtomicInPieces does, and leaves it
  // with `attributes`. On POSIX the new file has its final mode before it takes the old one's
  // place, so that the old file is never writable on the way, and an old file without write
  // permission is replaced as long as the user may write it once writable (its owner, or the
  // superuser); a user locked out of it is refused. On Windows the file must have been made
  // writable by PrepareReplace; if the program is ended between the two calls, the console
  // handler of GuardWritesAgainstSignals puts the attributes that PrepareReplace found back.
  virtual Status ReplaceProtectedFile(const std::string& path, const FileContents& contents, int attributes) = 0;

  // A lock held until it is destroyed.
  class HeldLock {
   public:
    virtual ~HeldLock() = default;
  };
  // Takes the lock that makes replaces and restores of the file at `path` run one at a time,
  // between processes and (Windows) sessions, a lock no other user can take or hold: a file
  // named after the file's folder and name, locked with `flock`, in a folder only this
  // process's user may open (POSIX: root's /run/quorvale/, else quorvale/ in the user's own
  // private $XDG_RUNTIME_DIR, else /tmp/quorvale-UID/), or opened without sharing (Windows:
  // named after the case-folded full path, in %ProgramData%\Quorvale\ when elevated, which
  // it makes admin-only and refuses when others may change it, else in the user's
  // %LOCALAPPDATA%\Quorvale\). A lock file goes away with its lock (on POSIX, one left by a
  // killed run serves the next run on the same file). Tries again until
  // `timeout_milliseconds` have passed, calling `waiting` between the tries; kBusy when the
  // lock stayed held by another run all that time.
  virtual Status LockForReplace(const std::string& path, int timeout_milliseconds, const std::function<void()>& waiting,
                                std::unique_ptr<HeldLock>* lock) = 0;

  virtual Status RemoveFile(const std::string& path) = 0;
  // Names (not paths) of the entries of a folder; empty when it cannot be read.
  virtual std::vector<std::string> ListFolder(const std::string& folder) = 0;
  // When a file was last written, as a number that orders the moments (nanoseconds since
  // 1970 UTC, whatever the time zone); -1 when it cannot be read.
  virtual std::int64_t FileModifiedTime(const std::string& path) = 0;
  // The size of a file in bytes; -1 when it cannot be read.
  virtual std::int64_t FileSize(const std::string& path) = 0;

  // What the entry at `path` itself is, without following a symbolic link.
  struct EntryFacts {
    enum class Kind {
      kMissing,  // no entry of that name
      kRegular,  // a regular file (on Windows: neither a folder nor a reparse point)
      kOther,    // a link, a folder, a device, a pipe...
      kUnknown,  // the system would not say
    };
    Kind kind = Kind::kUnknown;
    std::int64_t bytes = -1;     // for kRegular
    std::int64_t modified = -1;  // for kRegular, as FileModifiedTime counts
  };
  virtual EntryFacts FactsOf(const std::string& path) = 0;

  // Empties the system's DNS cache, so that a new HOSTS file takes effect at once: with a
  // direct call where the system has one (Windows: DnsFlushResolverCache of dnsapi.dll),
  // otherwise by starting the system's programs from argument vectors, without a window and
  // with their output discarded (Windows: ipconfig /flushdns; Linux: resolvectl flush-caches
  // where resolvectl is on PATH, and nscd -i hosts where nscd runs and is on PATH). Waits at
  // most `wait_milliseconds` in all for the programs to end (0: not at all); a program
  // still running then goes on alone.
  virtual DnsFlushOutcome FlushDnsCache(int wait_milliseconds) = 0;

  // The moment of writing as a written file's header shows it (HeaderMoment(): the one
  // SOURCE_DATE_EPOCH fixes, or now), in the user's regional settings: the short date, one
  // space, the long time. Windows: GetDateFormatEx and GetTimeFormatEx for the user's locale;
  // POSIX: LocaleDateTimeText(), under LC_TIME.
  virtual std::string LocalDateTimeText() = 0;
  // Any moment (a broken-down local time) as LocalDateTimeText shows the moment of writing.
  // This default is the POSIX text.
  virtual std::string DateTimeText(const std::tm& moment) { return LocaleDateTimeText(moment); }
  // Reads `bytes` in the system's ANSI code page, as UTF-8: Windows' own conversion of
  // CP_ACP there, Windows-1252 elsewhere.
  virtual std::string AnsiToUtf8(std::string_view bytes) = 0;

  // Downloads one source through the system's own HTTP stack (Linux: libcurl, with the
  // proxies of the usual environment variables; Windows: WinHTTP, with the system's proxy
  // settings and certificate store): gzip and deflate accepted, a conditional request when
  // the request holds validators (a 304 gives kNotModified), within request.limits. May be
  // called from several threads at once.
  virtual DownloadResult Download(const DownloadRequest& request, const DownloadProgress& progress) = 0;

  // The user's configuration folder of the program, with a trailing separator, not created:
  // Windows %APPDATA%\Quorvale\, POSIX $XDG_CONFIG_HOME/quorvale/ (~/.config/quorvale/).
  // "" when there is none.
  virtual std::string ConfigFolder() = 0;
  // The program's cache folder, with a trailing separator, not created: Windows
  // %LOCALAPPDATA%\Quorvale\cache\ (%ProgramData%\Quorvale\cache\ for the SYSTEM account),
  // POSIX $XDG_CACHE_HOME/quorvale/ (~/.cache/quorvale/; /var/cache/quorvale/ for root). ""
  // when there is none.
  virtual std::string CacheFolder() = 0;
  // The system's folder of the scheduled update, with a trailing separator, not created: the
  // administrators' copies of the sources file, own.txt and allow.txt that the update run as
  // root or SYSTEM reads. POSIX /etc/quorvale/ ($QUORVALE_SYSTEM_DIR/etc/quorvale/ when that
  // variable is set), Windows %ProgramData%\Quorvale\.
  virtual std::string SystemSourcesFolder() = 0;
  // Creates the folder `path` and its missing parents (existing ones are fine).
  virtual Status MakeFolders(const std::string& path) = 0;
  // `path` from the current folder when it is relative, without following links.
  virtual std::string AbsolutePath(const std::string& path) = 0;
  // The name by which the system knows the existing entry at `path`: from the root, with `.`
  // and `..` resolved, and on POSIX every symbolic link too; "" when there is no such entry.
  // The system's policies (polkit's exec.path, the UAC prompt) see a program by that name.
  virtual std::string CanonicalPath(const std::string& path) = 0;
  // Whether the process runs with administrator rights (POSIX: effective user root; Windows:
  // an elevated token).
  virtual bool IsElevated() = 0;
  // Runs a program from an argument vector (never through a shell), without a window and
  // with its output discarded, and waits at most `wait_milliseconds` for it: `*exit_code` is
  // its exit status once it ended. kBusy when it still ran at the end of the wait (it goes
  // on alone).
  virtual Status RunProgram(const std::vector<std::string>& argv, int wait_milliseconds, int* exit_code) = 0;
#ifndef _WIN32
  // Runs the program at the full path argv[0] with an empty environment, reading nothing and
  // its errors discarded, and gives what it printed on its standard output. Fails unless it
  // ends with exit status 0 within `wait_milliseconds`, printing at most
  // kProgramOutputLimit bytes; a program still running then is killed.
  static constexpr std::size_t kProgramOutputLimit = 64 * 1024;
  virtual Status ReadProgramOutput(const std::vector<std::string>& argv, int wait_milliseconds,
                                   std::string* output) = 0;
#endif

  // Whether this process may replace the file at `path` itself: it has administrator rights,
  // or it may write the file's folder and the file is missing or its own.
  virtual bool CanReplaceInPlace(const std::string& path) = 0;
  // Whether the system has a way to run a program with administrator rights on the user's
  // word: pkexec on PATH (POSIX), UAC (Windows).
  virtual bool CanRunElevated() = 0;
  // Whether no one but the administrators may change the file at `path` or the folder that
  // holds it: write to either, add to or remove from the folder, delete, rename, or change an
  // owner or an access list. Windows: neither is a reparse point, both are owned by
  // Administrators, SYSTEM or TrustedInstaller, and their access lists give none of those
  // rights to anyone else; POSIX: the file is a regular file, both are root's, and neither
  // group nor others may write them. False when it cannot be told. A program is run with
  // administrator rights only when this holds for it.
  virtual bool OnlyAdministratorsCanChange(const std::string& path) = 0;
  // Makes the folder `path` of the programs run with administrator rights. Windows (its parent
  // must exist): a folder that only SYSTEM and the Administrators may read or change, owned by
  // Administrators, with a protected access list that gives both every right and that what it
  // holds takes; a link there is removed first, and an existing folder that others may change
  // is taken back (its owner and access list replaced, which its entries that inherit take
  // too). Needs an elevated process. POSIX: as MakeFolders (root's folders are root's).
  virtual Status MakeAdministratorsFolder(const std::string& path) = 0;
  // Runs `program` (a full path) with `args` and administrator rights, asking the user for
  // them: through pkexec on POSIX (`input` on its standard input, closed after it, its
  // standard error read back; pkexec's 126 and 127 are kRefused), through ShellExecuteExW's
  // "runas" on Windows (the arguments follow "--pipe NAME", a pipe that only this user may
  // open, which carries `input` there and the program's answer back; a cancelled UAC prompt
  // is kRefused). The bytes of `input` go as they are: the caller frames them (the helper's
  // FramedContents). Calls `waiting` now and then until the program has ended.
  virtual ElevatedRun RunElevated(const std::string& program, const std::vector<std::string>& args,
                                  const FileContents* input, const std::function<void()>& waiting) = 0;
};

// Called first thing in main() of both programs, before any write. On POSIX a file-size
// limit then makes a write fail ("File too large") instead of killing the program, and
// SIGINT, SIGTERM and SIGHUP remove the named temporary file of a write in progress before
// the program ends as the signal asks (a signal the program was started ignoring stays
// ignored). On Windows the temporary file of a write is deleted by the system when the
// program ends before the write is complete, and a console handler (Ctrl+C, Ctrl+Break, the
// console closed, logoff, shutdown) puts back the attributes that PrepareReplace took off a
// file whose replace has not ended.
void GuardWritesAgainstSignals();

// The real platform of the machine the program was built for.
std::unique_ptr<Platform> CreateSystemPlatform();

#ifdef _WIN32
// The rule that OnlyAdministratorsCanChange applies to each of a file and its folder, on a
// security descriptor in SDDL form (its owner and access list).
bool SddlLeavesChangesToAdministrators(const std::string& sddl);

// The system's text for a Windows error code (GetLastError()), in the user's language, in
// UTF-8 and without its line end; "error N" when the system has none.
std::string WindowsErrorText(unsigned long code);
#endif

}  // namespace quorvale
