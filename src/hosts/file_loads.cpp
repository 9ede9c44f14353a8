#include "hosts/file_loads.h"

#include <utility>

#include "core/domain_parser.h"
#include "core/hosts_parser.h"

namespace quorvale {

namespace {

// A load that opens the file at `path` as pieces and hands them to `load`; `on_failed_open`
// runs when the file could not be opened.
template <typename LoadFn, typename FailedOpenFn>
Status LoadFile(Platform& platform, const std::string& path, InputKinds kinds, bool* changed, LoadFn&& load,
                FailedOpenFn&& on_failed_open) {
  FilePieces pieces;
  Status status = OpenPieces(platform, path, kinds, &pieces);
  if (!status.ok()) {
    on_failed_open();
    return status;
  }
  status = load(pieces);
  if (changed != nullptr && pieces.changed_while_read()) *changed = true;
  return AboutSubject(status, path);
}

}  // namespace

Status ParseHostsFile(Platform& platform, const std::string& path, Session& session, const YieldFn& yield,
                      InputKinds kinds, bool* changed, WwwListing www) {
  session.EntriesLoaded = 0;
  return LoadFile(
      platform, path, kinds, changed,
      [&](FilePieces& pieces) { return ParseHostsPieces(pieces, session, yield, www); }, [] {});
}

Status ParseDomainList(Platform& platform, const std::string& path, Session& session, const YieldFn& yield,
                       InputKinds kinds, bool* changed) {
  return LoadFile(
      platform, path, kinds, changed,
      [&](FilePieces& pieces) { return ParseDomainListPieces(pieces, session, yield); },
      [&] { ParseDomainListData({}, session, yield); });
}

Status ParseNamesToRemove(Platform& platform, const std::string& path, Session& session, InputKinds kinds,
                          bool* changed) {
  return LoadFile(
      platform, path, kinds, changed, [&](FilePieces& pieces) { return ParseNamesToRemovePieces(pieces, session); },
      [&] { ParseDomainListData({}, session); });
}

Status LoadDomainOnlyFile(Platform& platform, const std::string& path, SortBuffer& buffer, const YieldFn& yield,
                          InputKinds kinds, bool* changed) {
  return LoadFile(
      platform, path, kinds, changed,
      [&](FilePieces& pieces) { return LoadDomainOnlyPieces(pieces, buffer, yield); }, [] {});
}

Status ReadLinesToCarry(Platform& platform, const std::string& path, std::vector<std::string>* lines) {
  lines->clear();
  std::string bytes;
  Status status = ReadFileBytes(platform, path, &bytes);
  if (status.code() == ErrorCode::kNotFound) return Status::Ok();
  if (!status.ok()) return status;
  *lines = LinesToCarry(bytes);
  return Status::Ok();
}

}  // namespace quorvale
