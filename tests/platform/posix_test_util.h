#pragma once

// Helpers for the tests that work on real files, processes and access lists of a POSIX
// system.

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorvale::testing {

class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask);
  ~ScopedUmask();
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  mode_t old_;
};

bool RunningAsRoot();

// The account the unprivileged side of a test runs as: nobody:nogroup when the tests run as
// root, the current user otherwise.
uid_t TestUserId();
gid_t TestGroupId();
// Gives a file or folder to that account (a no-op when not root).
void GiveToTestUser(const std::string& path);

// Runs `body` in a forked child that, when the tests run as root, first becomes
// nobody:nogroup with no supplementary groups, so that permission bits and access lists
// apply to it. Returns the child's exit code (the value `body` returned), or 100 + the
// signal number when it was killed. Never let `body` use gtest assertions.
int RunInChild(const std::function<int()>& body, bool unprivileged = true);

// From now on this process (and the programs it starts) may not create a file without a
// name: open(O_TMPFILE) fails with EOPNOTSUPP, as on a file system that has no such files.
// False when the system would not take the filter.
bool RefuseUnnamedFiles();

// Runs a program, waits for it, and returns its exit code; its stderr is stored in
// `*stderr_text` when given. -1 when it could not be started.
int RunAndWait(const std::vector<std::string>& argv, std::string* stderr_text = nullptr);

// Waits (up to about ten seconds) for a file to exist, then returns its bytes; nullopt on
// time-out.
std::optional<std::string> WaitForFile(const std::string& path);

// Waits (up to about ten seconds) until every program this process started has ended and
// been waited for, by the test or by the platform; kills the ones still there after that.
// False when one had to be killed.
bool EndChildren();

mode_t ModeOf(const std::string& path);
// The access list in short text form ("user::rw-,user:nobody:---,group::r--,..."); "" when
// it cannot be read.
std::string AclText(const std::string& path);
// Sets an access list given in setfacl's long or short text form; false on failure.
bool SetAcl(const std::string& path, const std::string& text, bool default_acl = false);

}  // namespace quorvale::testing
