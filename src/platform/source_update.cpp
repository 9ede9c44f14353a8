#include "platform/source_update.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

#include "core/domain_parser.h"
#include "core/hosts_parser.h"
#include "core/name_removal.h"
#include "core/path_text.h"
#include "core/sha256.h"
#include "platform/file_loads.h"
#include "platform/update_status.h"

namespace quorvale {

namespace {

// The files beside the sources file, and in its cache folder.
constexpr const char* kOwnFileName = "own.txt";
constexpr const char* kAllowFileName = "allow.txt";
constexpr const char* kWrittenFileName = "written.txt";
constexpr const char* kLogFileName = "update.log";
// The cache folder of a sources file: this prefix and the start of its path's digest.
constexpr const char* kCacheFolderPrefix = "sources-";
constexpr size_t kCacheFolderDigitCount = 16;
// How often the calling thread looks up from waiting for the downloads.
constexpr auto kWaitSlice = std::chrono::milliseconds(20);
// How much of a file a digest reads at a time.
constexpr size_t kDigestReadBytes = size_t{1} << 20;

// A local file's read failure in the user's words.
std::string LocalFailureText(const Status& status) {
  switch (status.code()) {
    case ErrorCode::kNotFound:
      return "fichier introuvable";
    case ErrorCode::kAccessDenied:
      return "acces refuse";
    case ErrorCode::kNoMemory:
      return "memoire insuffisante";
    default:
      return status.reason().empty() ? std::string("erreur de lecture") : status.reason();
  }
}

// The body of a copy file, read after its header: the bytes read with the header that belong
// to the body come first.
class CopyBody : public SequentialFile {
 public:
  CopyBody(std::unique_ptr<SequentialFile> file, std::string first_bytes)
      : file_(std::move(file)), first_(std::move(first_bytes)) {}

  Status Read(char* to, size_t room, size_t* got) override {
    size_t given = std::min(room, first_.size() - first_used_);
    std::memcpy(to, first_.data() + first_used_, given);
    first_used_ += given;
    size_t more = 0;
    Status status = given < room ? file_->Read(to + given, room - given, &more) : Status::Ok();
    *got = given + more;
    return status;
  }
  uint64_t size_hint() const override { return 0; }
  bool ChangedSinceOpened() override { return file_->ChangedSinceOpened(); }

 private:
  std::unique_ptr<SequentialFile> file_;
  std::string first_;
  size_t first_used_ = 0;
};

// Opens the copy file at `path`: its header, and (when `body` is given) the rest as a file.
Status OpenCopy(Platform& platform, const std::string& path, CopyHeader* header,
                std::unique_ptr<SequentialFile>* body) {
  std::unique_ptr<SequentialFile> file;
  Status status = platform.OpenSequentialFile(path, InputKinds::kRegularFiles, &file);
  if (!status.ok()) return status;
  std::string start(kCopyHeaderMaxBytes, '\0');
  size_t got = 0;
  status = file->Read(start.data(), start.size(), &got);
  if (!status.ok()) return status;
  start.resize(got);
  size_t body_offset = 0;
  if (!ParseCopyHeader(start, header, &body_offset)) return Status(ErrorCode::kIoError, path, "not a copy file");
  if (body != nullptr) *body = std::make_unique<CopyBody>(std::move(file), start.substr(body_offset));
  return Status::Ok();
}

// What a downloading thread brings back for one source.
struct Fetched {
  size_t index = 0;
  DownloadResult download;       // for a local source: kDownloaded with the body, or kFailed
  std::string reason;            // kFailed
  Platform::EntryFacts local{};  // a local source's size and time
  double seconds = 0;
};

// Fetches one source: a download for http(s), a read (or nothing, when the copy is current)
// for a local file.
Fetched FetchOne(Platform& platform, const UpdatePlaces& places, const SourceResult& known, size_t index,
                 const FetchSettings& settings) {
  const auto start = std::chrono::steady_clock::now();
  Fetched fetched;
  fetched.index = index;
  const Source& source = known.source;
  auto cancelled = [&settings] { return settings.cancel != nullptr && settings.cancel->load(); };
  if (cancelled()) {
    fetched.download.failure = DownloadFailure::kCancelled;
  } else if (source.scheme == Source::Scheme::kFile || source.scheme == Source::Scheme::kPath) {
    const std::string path = LocalSourcePath(source, places.folder);
    fetched.local = platform.FactsOf(path);
    if (known.has_copy && fetched.local.kind == Platform::EntryFacts::Kind::kRegular &&
        fetched.local.bytes == known.copy.source_size && fetched.local.modified == known.copy.source_modified) {
      fetched.download.outcome = DownloadResult::Outcome::kNotModified;
    } else {
      Status status = ReadFileBytes(platform, path, &fetched.download.body, ReadAs::kBytes);
      if (status.ok()) {
        fetched.download.outcome = DownloadResult::Outcome::kDownloaded;
        if (settings.progress) settings.progress(index, fetched.download.body.size());
      } else {
        fetched.reason = LocalFailureText(status);
      }
    }
  } else {
    DownloadRequest request;
    request.url = source.address;
    if (known.has_copy) {
      request.etag = known.copy.etag;
      request.last_modified = known.copy.last_modified;
    }
    request.limits = settings.limits;
    request.ca_file = settings.ca_file;
    fetched.download = platform.Download(request, [&](std::uint64_t bytes) {
      if (settings.progress) settings.progress(index, bytes);
      return !cancelled();
    });
  }
  if (fetched.download.outcome == DownloadResult::Outcome::kFailed && fetched.reason.empty()) {
    fetched.reason = DownloadFailureText(fetched.download, settings.limits);
  }
  fetched.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return fetched;
}

// Writes the new copy of `result`'s source, header and body in one file.
Status StoreCopy(Platform& platform, const UpdatePlaces& places, Fetched& fetched, SourceResult& result) {
  CopyHeader header;
  header.address = result.source.address;
  header.etag = fetched.download.etag;
  header.last_modified = fetched.download.last_modified;
  header.source_size = fetched.local.bytes;
  header.source_modified = fetched.local.modified;
  header.fetched = static_cast<std::int64_t>(std::time(nullptr));
  header.body_bytes = fetched.download.body.size();
  header.digest = Sha256Hex(fetched.download.body);
  const std::string head = FormatCopyHeader(header);
  const std::string& body = fetched.download.body;
  Status status = platform.MakeFolders(places.cache_folder);
  if (status.ok()) {
    status = platform.WriteFileAtomicInPiecesNoFollow(result.copy_path, [&](const ByteSink& sink) {
      return sink(head) && sink(body);
    });
  }
  if (!status.ok()) return status;
  result.copy = std::move(header);
  result.has_copy = true;
  return Status::Ok();
}

// Moves the rejected lines of the load that just ran to the end of `all`.
void KeepRejectedLines(Session& session, std::vector<std::string>* all) {
  const std::vector<std::string>& lines = session.RejectedLines;
  if (lines.size() == 1 && lines[0].empty()) return;
  for (const std::string& line : lines) all->push_back(line);
}

// Loads one copy's body with the parser of its kind.
Status LoadCopy(Platform& platform, SourceResult& result, Session& session, const YieldFn& yield) {
  CopyHeader header;
  std::unique_ptr<SequentialFile> body;
  Status status = OpenCopy(platform, result.copy_path, &header, &body);
  if (!status.ok()) return AboutSubject(status, result.copy_path);
  FilePieces pieces;
  status = pieces.Open(std::move(body));
  if (!status.ok()) return AboutSubject(status, result.copy_path);
  session.ResetRejectedLines();
  status = result.source.kind == SourceKind::kHosts ? ParseHostsPieces(pieces, session, yield)
                                                    : ParseDomainListPieces(pieces, session, yield);
  result.entries = session.EntriesLoaded;
  return AboutSubject(status, result.copy_path);
}

}  // namespace

UpdatePlaces PlacesOf(Platform& platform, const std::string& sources_path) {
  UpdatePlaces places;
  places.sources_path = platform.AbsolutePath(sources_path);
  places.folder = std::string(FolderPartOf(places.sources_path));
  places.own_path = places.folder + kOwnFileName;
  places.allow_path = places.folder + kAllowFileName;
  const std::string cache = platform.CacheFolder();
  if (!cache.empty()) {
    places.cache_folder = cache + kCacheFolderPrefix +
                          Sha256Hex(places.sources_path).substr(0, kCacheFolderDigitCount) + cache.back();
  }
  return places;
}

bool ReadSources(Platform& platform, const UpdatePlaces& places, std::vector<Source>* sources, std::string* error,
                 std::vector<std::string>* skipped) {
  std::string text;
  Status status = ReadFileBytes(platform, places.sources_path, &text);
  if (!status.ok()) {
    *error = places.sources_path + " n'a pas pu etre lu: " + LocalFailureText(status);
    return false;
  }
  std::vector<MalformedSourceLine> malformed;
  ReadSourcesFile(text, sources, &malformed);
  if (!malformed.empty() && skipped == nullptr) {
    sources->clear();
    *error = places.sources_path + ": " + MalformedLineText(malformed.front());
    return false;
  }
  for (const MalformedSourceLine& line : malformed) skipped->push_back(places.sources_path + ": " + SkippedLineText(line));
  // The system's sources file is the scheduled update's, which runs as root or SYSTEM.
  if (IsSystemSourcesFile(platform, places)) {
    *error = CheckSystemSources(*sources);
    if (!error->empty()) {
      sources->clear();
      *error = places.sources_path + ": " + *error;
      return false;
    }
  }
  return true;
}

std::vector<SourceResult> CachedSources(Platform& platform, const UpdatePlaces& places,
                                        const std::vector<Source>& sources) {
  std::vector<SourceResult> results(sources.size());
  for (size_t i = 0; i < sources.size(); ++i) {
    SourceResult& result = results[i];
    result.source = sources[i];
    result.outcome = SourceResult::Outcome::kNotModified;
    if (places.cache_folder.empty()) continue;
    result.copy_path = places.cache_folder + CopyFileName(sources[i].address, SourceKindWord(sources[i].kind));
    result.has_copy = OpenCopy(platform, result.copy_path, &result.copy, nullptr).ok() &&
                      result.copy.address == sources[i].address;
  }
  return results;
}

std::vector<SourceResult> FetchSources(Platform& platform, const UpdatePlaces& places,
                                       const std::vector<Source>& sources, const FetchSettings& settings) {
  std::vector<SourceResult> results = CachedSources(platform, places, sources);
  if (places.cache_folder.empty()) {
    for (SourceResult& result : results) {
      result.outcome = SourceResult::Outcome::kFailed;
      result.reason = "pas de dossier de cache";
    }
    return results;
  }

  std::mutex mutex;
  std::condition_variable done;
  std::deque<Fetched> arrived;
  std::atomic<size_t> next{0};
  auto worker = [&] {
    for (size_t index = next++; index < results.size(); index = next++) {
      Fetched fetched = FetchOne(platform, places, results[index], index, settings);
      std::lock_guard<std::mutex> lock(mutex);
      arrived.push_back(std::move(fetched));
      done.notify_one();
    }
  };
#ifdef __GLIBC__
  // Threads of their own would each get a memory pool of their own, which keeps the bodies'
  // memory once they are freed (about the size of every list together), and the load that
  // follows would stand on top of it: with one pool for all, it is used again.
  mallopt(M_ARENA_MAX, 1);
#endif
  std::vector<std::thread> threads;
  const size_t thread_count = std::min<size_t>(kParallelDownloads, results.size());
  for (size_t i = 0; i < thread_count; ++i) threads.emplace_back(worker);

  // The copies are written here, one at a time, as the downloads end.
  for (size_t handled = 0; handled < results.size();) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!done.wait_for(lock, kWaitSlice, [&] { return !arrived.empty(); })) {
      lock.unlock();
      if (settings.waiting) settings.waiting();
      continue;
    }
    Fetched fetched = std::move(arrived.front());
    arrived.pop_front();
    lock.unlock();
    ++handled;
    SourceResult& result = results[fetched.index];
    result.seconds = fetched.seconds;
    switch (fetched.download.outcome) {
      case DownloadResult::Outcome::kNotModified:
        result.outcome = result.has_copy ? SourceResult::Outcome::kNotModified : SourceResult::Outcome::kFailed;
        if (!result.has_copy) result.reason = "pas modifiee, mais aucune copie";
        break;
      case DownloadResult::Outcome::kDownloaded: {
        if (settings.cancel != nullptr && settings.cancel->load()) {
          // Once the update is cancelled, the cache stays as it was when it was.
          result.outcome = SourceResult::Outcome::kFailed;
          DownloadResult cancelled;
          cancelled.failure = DownloadFailure::kCancelled;
          result.reason = DownloadFailureText(cancelled, settings.limits);
          break;
        }
        result.bytes = fetched.download.body.size();
        Status stored = StoreCopy(platform, places, fetched, result);
        if (stored.ok()) {
          result.outcome = SourceResult::Outcome::kDownloaded;
        } else {
          result.outcome = SourceResult::Outcome::kFailed;
          result.reason = "copie impossible a enregistrer: " + stored.ToString();
        }
        break;
      }
      case DownloadResult::Outcome::kFailed:
        result.outcome = SourceResult::Outcome::kFailed;
        result.reason = fetched.reason;
        break;
    }
  }
  for (std::thread& thread : threads) thread.join();
  return results;
}

std::string UpdateInputsDigest(Platform& platform, const UpdatePlaces& places,
                               const std::vector<SourceResult>& results) {
  Sha256 digest;
  for (const SourceResult& result : results) {
    if (!result.has_copy) continue;
    digest.Update(SourceKindWord(result.source.kind));
    digest.Update(" ");
    digest.Update(result.copy.digest);
    digest.Update("\n");
  }
  for (const std::string& path : {places.own_path, places.allow_path}) {
    const std::string file_digest = FileDigest(platform, path);
    digest.Update(file_digest.empty() ? std::string_view("-") : std::string_view(file_digest));
    digest.Update("\n");
  }
  return digest.HexDigest();
}

Status LoadUpdate(Platform& platform, const UpdatePlaces& places, std::vector<SourceResult>& results, Session& session,
                  const YieldFn& yield, size_t* allowed_removed) {
  std::vector<std::string> rejected;
  std::int32_t entries = 0;
  *allowed_removed = 0;
  if (platform.PathExists(places.own_path)) {
    session.ResetRejectedLines();
    Status status = ParseHostsFile(platform, places.own_path, session, yield);
    if (!status.ok() && status.code() != ErrorCode::kEmpty) return status;
    KeepRejectedLines(session, &rejected);
    entries += session.EntriesLoaded;
  }
  for (SourceResult& result : results) {
    if (!result.has_copy) continue;
    Status status = LoadCopy(platform, result, session, yield);
    if (!status.ok()) return status;
    KeepRejectedLines(session, &rejected);
    entries += result.entries;
  }
  if (platform.PathExists(places.allow_path)) {
    Session listed;
    listed.ResetRejectedLines();
    Status status = ParseNamesToRemove(platform, places.allow_path, listed, InputKinds::kRegularFiles);
    if (!status.ok() && status.code() != ErrorCode::kEmpty) return status;
    *allowed_removed = RemoveNames(session, listed.blocked);
  }
  session.RejectedLines = rejected.empty() ? std::vector<std::string>(1) : std::move(rejected);
  session.EntriesLoaded = entries;
  return Status::Ok();
}

std::vector<WrittenFile> ReadWrittenFiles(Platform& platform, const UpdatePlaces& places) {
  std::string text;
  if (places.cache_folder.empty() ||
      !ReadFileBytes(platform, places.cache_folder + kWrittenFileName, &text, ReadAs::kBytes).ok()) {
    return {};
  }
  return ParseWrittenFiles(text);
}

Status SaveWrittenFiles(Platform& platform, const UpdatePlaces& places, const std::vector<WrittenFile>& files) {
  if (places.cache_folder.empty()) return Status(ErrorCode::kNotSupported, "", "no cache folder");
  Status status = platform.MakeFolders(places.cache_folder);
  if (!status.ok()) return status;
  return platform.WriteFileAtomicNoFollow(places.cache_folder + kWrittenFileName, FormatWrittenFiles(files));
}

std::string FileDigest(Platform& platform, const std::string& path) {
  std::unique_ptr<SequentialFile> file;
  if (!platform.OpenSequentialFile(path, InputKinds::kRegularFiles, &file).ok()) return std::string();
  Sha256 digest;
  std::string buffer(kDigestReadBytes, '\0');
  while (true) {
    size_t got = 0;
    if (!file->Read(buffer.data(), buffer.size(), &got).ok()) return std::string();
    digest.Update(std::string_view(buffer.data(), got));
    if (got < buffer.size()) break;
  }
  return digest.HexDigest();
}

void LogUpdate(Platform& platform, const UpdatePlaces& places, const std::string& line) {
  if (places.cache_folder.empty() || !platform.MakeFolders(places.cache_folder).ok()) return;
  const std::string path = places.cache_folder + kLogFileName;
  std::string log;
  if (!ReadFileBytes(platform, path, &log, ReadAs::kBytes).ok()) log.clear();
  // The log is a help for reading afterwards; a failed write of it changes nothing else.
  (void)platform.WriteFileAtomicNoFollow(path, AppendLogLine(log, line));
}

}  // namespace quorvale
