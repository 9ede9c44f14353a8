#include "update/update_status.h"

#include <ctime>
#include <string_view>

#include "core/path_text.h"
#include "platform/file_read.h"
#include "update/update_texts.h"

namespace quorvale {

namespace {

#ifndef _WIN32
// Where the system's update keeps what it leaves for others, in the tree of the system's
// sources folder (kUpdateTimerFolder).
constexpr std::string_view kSystemStatusFolder = "/var/lib/quorvale/";
#endif

std::vector<SourceStatus> ReadStatusFile(Platform& platform, const std::string& folder) {
  std::string text;
  if (folder.empty() || !ReadFileBytes(platform, folder + std::string(kUpdateStatusFileName), &text, ReadAs::kBytes).ok()) {
    return {};
  }
  return ParseUpdateStatus(text);
}

}  // namespace

bool IsSystemSourcesFile(Platform& platform, const UpdatePlaces& places) {
  const std::string system_folder = platform.SystemSourcesFolder();
  return !system_folder.empty() && SamePath(places.folder, system_folder);
}

std::string SystemStatusFolder(Platform& platform) {
  const std::string sources_folder = platform.SystemSourcesFolder();
#ifdef _WIN32
  return sources_folder;
#else
  if (!sources_folder.ends_with(kUpdateTimerFolder)) return std::string();
  return sources_folder.substr(0, sources_folder.size() - kUpdateTimerFolder.size()) + std::string(kSystemStatusFolder);
#endif
}

void SaveUpdateStatus(Platform& platform, const UpdatePlaces& places, const std::vector<SourceResult>& results,
                      bool loaded) {
  const std::vector<SourceStatus> last = loaded ? std::vector<SourceStatus>() : ReadStatusFile(platform, places.cache_folder);
  std::vector<SourceStatus> statuses;
  const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  for (const SourceResult& result : results) {
    SourceStatus status{AddressWithoutCredentials(result.source.address), now, SourceOutcomeText(result), -1};
    if (result.has_copy && loaded) {
      status.entries = result.entries;
    } else if (const SourceStatus* known = FindSourceStatus(last, result.source.address); result.has_copy && known) {
      status.entries = known->entries;
    }
    statuses.push_back(std::move(status));
  }
  const std::string text = FormatUpdateStatus(statuses);
  // The status helps the windows say what happened; a failed write of it changes nothing else.
  if (!places.cache_folder.empty() && platform.MakeFolders(places.cache_folder).ok()) {
    (void)platform.WriteFileAtomicNoFollow(places.cache_folder + std::string(kUpdateStatusFileName), text);
  }
  const std::string system_folder = SystemStatusFolder(platform);
  if (!system_folder.empty() && IsSystemSourcesFile(platform, places) &&
      platform.MakeAdministratorsFolder(system_folder).ok()) {
    (void)platform.WritePublicFileNoFollow(system_folder + std::string(kUpdateStatusFileName), text);
  }
}

std::vector<SourceStatus> ReadUpdateStatus(Platform& platform, const UpdatePlaces& places) {
  std::vector<SourceStatus> statuses = ReadStatusFile(platform, places.cache_folder);
  KeepLatestStatuses(&statuses, ReadStatusFile(platform, SystemStatusFolder(platform)));
  return statuses;
}

}  // namespace quorvale
