#include "platform/temp_name.h"

#include <chrono>
#include <cstdint>
#include <random>

#include "core/path_text.h"

namespace quorvale {

std::string TempNameBeside(std::string_view path, size_t name_max) {
  static constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static constexpr size_t kRandomLetters = 6;
  // The two dots around the name.
  static constexpr size_t kDots = 2;
  thread_local std::mt19937_64 random(std::random_device{}() ^
                                      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::string_view name = FileNameOf(path);
  if (name_max != std::string::npos && name.size() > name_max - kDots - kRandomLetters) {
    name = name.substr(0, name_max - kDots - kRandomLetters);
  }
  std::string temp(FolderPartOf(path));
  temp += '.';
  temp += name;
  temp += '.';
  uint64_t bits = random();
  for (size_t i = 0; i < kRandomLetters; ++i, bits /= kLetters.size()) temp.push_back(kLetters[bits % kLetters.size()]);
  return temp;
}

}  // namespace quorvale
