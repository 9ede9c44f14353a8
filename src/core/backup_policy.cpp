#include "core/backup_policy.h"

#include <algorithm>
#include <tuple>

#include "core/text.h"

namespace quorvale {

namespace {

constexpr std::string_view kBackupSuffix = ".bak";
// "yyyymmdd-hhmmss"
constexpr size_t kStampLength = 15;
// Where the date and the time of a stamp meet.
constexpr size_t kStampDash = 8;
// More copies in one second than this many digits can count are not ours.
constexpr size_t kMaxNumberDigits = 9;
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::tm LocalTime(std::time_t moment) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &moment);
#else
  localtime_r(&moment, &local);
#endif
  return local;
}

std::string FormatLocal(std::time_t moment, const char* format) {
  const std::tm local = LocalTime(moment);
  char text[32];
  const size_t length = std::strftime(text, sizeof text, format, &local);
  return std::string(text, length);
}

}  // namespace

bool BackupOwner::SameName(std::string_view a, std::string_view b) const {
  return names_ignore_case ? EqualsIgnoreAsciiCase(a, b) : a == b;
}

std::string HostsBackupName(std::string_view hosts_name, std::time_t now, int number) {
  std::string name(hosts_name);
  name += '.';
  name += FormatLocal(now, "%Y%m%d-%H%M%S");
  if (number > 1) name += "-" + std::to_string(number);
  name += kBackupSuffix;
  return name;
}

bool ParseBackupName(std::string_view name, const BackupOwner& owner, BackupName* parsed) {
  const std::string_view hosts_name = owner.hosts_name;
  auto same = [&owner](std::string_view a, std::string_view b) { return owner.SameName(a, b); };
  if (name.size() < hosts_name.size() + 1 + kStampLength + kBackupSuffix.size()) return false;
  if (!same(name.substr(0, hosts_name.size()), hosts_name) || name[hosts_name.size()] != '.') return false;
  if (!same(name.substr(name.size() - kBackupSuffix.size()), kBackupSuffix)) return false;
  const std::string_view stamp = name.substr(hosts_name.size() + 1, kStampLength);
  for (size_t i = 0; i < stamp.size(); ++i) {
    if (i == kStampDash ? stamp[i] != '-' : !IsDigit(stamp[i])) return false;
  }
  std::string_view rest = name.substr(hosts_name.size() + 1 + kStampLength);
  rest.remove_suffix(kBackupSuffix.size());
  int number = 1;
  if (!rest.empty()) {
    // "-N": a number from 2 on, without leading zeros.
    if (rest[0] != '-' || rest.size() < 2 || rest.size() > 1 + kMaxNumberDigits || rest[1] == '0') return false;
    number = 0;
    for (char c : rest.substr(1)) {
      if (!IsDigit(c)) return false;
      number = number * 10 + (c - '0');
    }
    if (number < 2) return false;
  }
  parsed->stamp = stamp;
  parsed->number = number;
  return true;
}

std::vector<size_t> OldestFirstOrder(const std::vector<BackupCopy>& copies, const BackupOwner& owner) {
  auto key = [&](size_t i) {
    BackupName parsed;
    (void)ParseBackupName(copies[i].name, owner, &parsed);
    return std::tuple(copies[i].modified, parsed.stamp, parsed.number);
  };
  std::vector<size_t> order(copies.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return key(a) < key(b); });
  return order;
}

std::vector<std::string> CopiesToRemove(std::vector<BackupCopy> copies, const BackupOwner& owner,
                                        std::string_view made, std::string_view kept) {
  std::erase_if(copies,
                [&](const BackupCopy& copy) { return owner.SameName(copy.name, made) || owner.SameName(copy.name, kept); });
  // With `made`, the newest kept make kHostsBackupsKept; the oldest stays besides.
  const size_t newest_kept = kHostsBackupsKept - 1;
  std::vector<std::string> doomed;
  if (copies.size() <= newest_kept + 1) return doomed;
  const std::vector<size_t> order = OldestFirstOrder(copies, owner);
  for (size_t i = 1; i + newest_kept < order.size(); ++i) doomed.push_back(copies[order[i]].name);
  return doomed;
}

std::string BackupTimeText(std::int64_t modified) {
  if (modified < 0) return std::string();
  return FormatLocal(static_cast<std::time_t>(modified / kNanosecondsPerSecond), "%Y-%m-%d %H:%M:%S");
}

}  // namespace quorvale
