#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "core/utf16.h"

namespace quorvale::testing {

namespace {

void SetEnv(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
  // An empty value removes the variable.
  _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
  if (value) {
    setenv(name.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name.c_str());
  }
#endif
}

// Test paths are UTF-8, as the program's are: Windows gets them in UTF-16.
#ifdef _WIN32
std::filesystem::path SystemPath(const std::string& path) { return WideFromUtf8(path); }
#else
std::filesystem::path SystemPath(const std::string& path) { return path; }
#endif

}  // namespace

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) old_ = old;
  SetEnv(name_, value);
}

ScopedEnv::~ScopedEnv() { SetEnv(name_, old_); }

#ifdef _WIN32
// Windows has no mkdtemp: a random name is tried until a folder of that name can be created.
TempDir::TempDir() {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    std::filesystem::path candidate = base / ("quorvale-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate, error)) path_ = Utf8FromWide(candidate.native());
  }
  if (path_.empty()) ADD_FAILURE() << "cannot create a temporary folder";
}
#else
TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quorvale-test-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  if (made == nullptr) ADD_FAILURE() << "cannot create a temporary folder";
  path_ = pattern;
}
#endif

TempDir::~TempDir() {
  std::error_code ignored;
  // Folders made read-only by a test must become writable again before they can be removed.
  for (auto it = std::filesystem::recursive_directory_iterator(SystemPath(path_), ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::permissions(SystemPath(path_), std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(SystemPath(path_), ignored);
}

std::string TempDir::File(std::string_view name) const { return path_ + "/" + std::string(name); }

std::string ReadBytes(const std::string& path) {
  std::ifstream in(SystemPath(path), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(SystemPath(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string RealFile(std::string_view name) { return std::string(QUORVALE_TEST_DATA) + "/real/" + std::string(name); }

std::string TestDataFile(std::string_view relative) {
  return std::string(QUORVALE_TEST_DATA) + "/" + std::string(relative);
}

Platform& SystemPlatform() {
  static const std::unique_ptr<Platform> platform = CreateSystemPlatform();
  return *platform;
}

}  // namespace quorvale::testing
