#include "update/kept_redirections.h"

#include "hosts/file_loads.h"

namespace quorvale {

KeptRedirections KeepCurrentRedirections(Platform& platform, const UpdatePlaces& places, const std::string& hosts_path,
                                         Session& session) {
  KeptRedirections kept;
  kept.own_path = places.own_path;
  kept.sources_path = places.sources_path;
  std::string hosts;
  if (!ReadFileBytes(platform, hosts_path, &hosts).ok()) return kept;
  Session allowed;
  allowed.ResetRejectedLines();
  if (platform.PathExists(places.allow_path)) {
    const Status read = ParseNamesToRemove(platform, places.allow_path, allowed, InputKinds::kRegularFiles);
    if (!read.ok() && read.code() != ErrorCode::kEmpty) return kept;
  }
  kept.lines = RedirectionsToKeep(hosts, session, allowed.blocked);
  for (const KeptLine& line : kept.lines) session.redirected.Add(line.name, line.address, line.description);
  return kept;
}

Status SaveKeptRedirections(Platform& platform, const KeptRedirections& kept) {
  if (kept.lines.empty()) return Status::Ok();
  std::string own;
  const Status read = platform.ReadRegularFile(kept.own_path, &own);
  if (!read.ok() && read.code() != ErrorCode::kNotFound) return read;
  if (!read.ok()) own.clear();
  return platform.WriteFileAtomicNoFollowOwnedLike(
      kept.own_path, OwnFileWithKeptLines(own, kept.lines, platform.LocalDateTimeText()), kept.sources_path);
}

}  // namespace quorvale
