#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace quorvale::testing {

// Whether this build runs under AddressSanitizer, whose shadow memory takes more address
// space than any memory limit a test sets.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(std::string_view name) const;

 private:
  std::string path_;
};

// Sets (or, with nullopt, removes) an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, std::string_view bytes);
// A file of the real-world sample set copied into tests/data/real.
std::string RealFile(std::string_view name);
std::string TestDataFile(std::string_view relative);
// The real platform, for the tests that read files by name (hosts/file_loads.h).
Platform& SystemPlatform();

}  // namespace quorvale::testing
