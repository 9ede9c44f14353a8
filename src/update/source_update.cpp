#include "update/source_update.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <utility>

#include "core/domain_parser.h"
#include "core/hosts_parser.h"
#include "core/name_removal.h"
#include "core/path_text.h"
#include "core/sha256.h"
#include "hosts/file_loads.h"
#include "update/update_status.h"
#include "update/update_texts.h"

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
// How much of a file a digest, a copy or a local source's read takes at a time.
constexpr size_t kReadPieceBytes = size_t{1} << 20;
// A new body waits for the load's decision in its copy's file name with this added.
constexpr const char* kPendingSuffix = ".pending";
// A source fails at most twice in an update: its fetch, then the load of its last good copy.
constexpr size_t kMostFailures = 2;

// A source failure of `kind` alone.
SourceFailure FailureOf(SourceFailure::Kind kind) {
  SourceFailure failure;
  failure.kind = kind;
  return failure;
}

// A copy or a pending body that could not be written.
SourceFailure NotStored(const Status& status) {
  SourceFailure failure = FailureOf(SourceFailure::Kind::kNotStored);
  failure.detail = status.ToString();
  return failure;
}

// A local file that could not be read.
SourceFailure LocalReadFailure(const Status& status) {
  SourceFailure failure = FailureOf(SourceFailure::Kind::kLocalRead);
  failure.code = status.code();
  failure.detail = status.reason();
  return failure;
}

// A download that failed, or was stopped.
SourceFailure DownloadFailed(const DownloadResult& download, const DownloadLimits& limits) {
  SourceFailure failure = FailureOf(SourceFailure::Kind::kDownload);
  failure.download = download.failure;
  failure.http_status = download.http_status;
  failure.detail = download.detail;
  failure.limits = limits;
  return failure;
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
  if (!ParseCopyHeader(start, header, &body_offset)) {
    return Status(ErrorCode::kIoError, path, std::string(kUnreadableCopyText));
  }
  if (body != nullptr) *body = std::make_unique<CopyBody>(std::move(file), start.substr(body_offset));
  return Status::Ok();
}

// What a downloading thread brings back for one source.
struct Fetched {
  DownloadResult download;       // for a local source: kDownloaded (the body read), or kFailed
  std::optional<SourceFailure> failure;  // kFailed: why, once known
  bool out_of_memory = false;    // kFailed for want of memory
  Platform::EntryFacts local{};  // a local source's size and time
  std::string pending_path;      // kDownloaded: the file that holds the new body
  CopyHeader header;             // kDownloaded: the new body's header, its entries unknown
  NewBody body;                  // kDownloaded: what is known of it so far
  double seconds = 0;
};

// Hands a body, as `receive` gives it to the sink it takes, to the pending file of `fetched`
// (written whole or not at all), digesting it, looking at its start and counting its bytes
// on the way. `receive` returns whether the body came whole. Runs on a downloading thread:
// a memory failure is caught here, and no exception leaves.
void ReceiveBody(Platform& platform, size_t index, const FetchSettings& settings, Fetched& fetched,
                 const std::function<bool(const DownloadBodySink&)>& receive) {
  Sha256 digest;
  BodyStartWatch start;
  std::uint64_t bytes = 0;
  bool received = false;
  bool refused = false;  // the pending file took no more
  const Status written = platform.WriteFileAtomicInPiecesNoFollow(fetched.pending_path, [&](const ByteSink& sink) {
    try {
      received = receive([&](std::string_view piece) {
        try {
          digest.Update(piece);
          start.See(piece);
          bytes += piece.size();
          if (settings.progress) settings.progress(index, bytes);
          refused = !sink(piece);
          return !refused;
        } catch (const std::bad_alloc&) {
          fetched.out_of_memory = true;
          return false;
        }
      });
    } catch (const std::bad_alloc&) {
      fetched.out_of_memory = true;
      received = false;
    }
    return received;
  });
  if (fetched.out_of_memory || refused || (received && !written.ok())) {
    fetched.download.outcome = DownloadResult::Outcome::kFailed;
    if (!fetched.out_of_memory) fetched.failure = NotStored(written);
    return;
  }
  if (!received) return;
  fetched.download.outcome = DownloadResult::Outcome::kDownloaded;
  fetched.header.body_bytes = bytes;
  fetched.header.digest = digest.HexDigest();
  fetched.body.starts_like_html = start.StartsLikeHtml();
}

// Reads the local file at `path` to `pass`, a piece at a time; false (with why in `*failure`
// when the read failed) when it cannot be read whole or `pass` refuses a piece.
bool ReadLocalSource(Platform& platform, const std::string& path, const DownloadBodySink& pass,
                     std::optional<SourceFailure>* failure) {
  std::unique_ptr<SequentialFile> file;
  Status status = platform.OpenSequentialFile(path, InputKinds::kRegularFiles, &file);
  std::string buffer(status.ok() ? kReadPieceBytes : 0, '\0');
  for (size_t got = buffer.size(); status.ok() && got == buffer.size();) {
    status = file->Read(buffer.data(), buffer.size(), &got);
    if (status.ok() && got > 0 && !pass(std::string_view(buffer.data(), got))) return false;
  }
  if (!status.ok()) *failure = LocalReadFailure(status);
  return status.ok();
}

// Fetches one source into its pending file: a download for http(s), a read (or nothing, when
// the copy is current) for a local file.
void FetchOne(Platform& platform, const UpdatePlaces& places, const SourceResult& known, size_t index,
              const FetchSettings& settings, Fetched& fetched) {
  const auto start = std::chrono::steady_clock::now();
  const Source& source = known.source;
  auto cancelled = [&settings] { return settings.cancel != nullptr && settings.cancel->load(); };
  try {
    fetched.pending_path = known.copy_path + kPendingSuffix;
    // A body left pending by a run that was stopped is never used.
    if (platform.PathExists(fetched.pending_path)) (void)platform.RemoveFile(fetched.pending_path);
    if (cancelled()) {
      fetched.download.failure = DownloadFailure::kCancelled;
    } else if (source.scheme == Source::Scheme::kFile || source.scheme == Source::Scheme::kPath) {
      const std::string path = LocalSourcePath(source, places.folder);
      fetched.local = platform.FactsOf(path);
      if (known.has_copy && fetched.local.kind == Platform::EntryFacts::Kind::kRegular &&
          fetched.local.bytes == known.copy.source_size && fetched.local.modified == known.copy.source_modified) {
        fetched.download.outcome = DownloadResult::Outcome::kNotModified;
      } else {
        ReceiveBody(platform, index, settings, fetched, [&](const DownloadBodySink& pass) {
          return ReadLocalSource(platform, path, pass, &fetched.failure);
        });
      }
    } else {
      ReceiveBody(platform, index, settings, fetched, [&](const DownloadBodySink& pass) {
        DownloadRequest request;
        request.url = source.address;
        if (known.has_copy) {
          request.etag = known.copy.etag;
          request.last_modified = known.copy.last_modified;
        }
        request.limits = settings.limits;
        request.ca_file = settings.ca_file;
        request.body_sink = pass;
        fetched.download = platform.Download(request, [&](std::uint64_t) { return !cancelled(); });
        return fetched.download.outcome == DownloadResult::Outcome::kDownloaded;
      });
    }
    if (fetched.download.outcome == DownloadResult::Outcome::kDownloaded) {
      CopyHeader& header = fetched.header;
      header.address = source.address;
      header.etag = fetched.download.etag;
      header.last_modified = fetched.download.last_modified;
      header.source_size = fetched.local.bytes;
      header.source_modified = fetched.local.modified;
      header.fetched = static_cast<std::int64_t>(std::time(nullptr));
      fetched.body.content_type = fetched.download.content_type;
    } else if (!fetched.failure && !fetched.out_of_memory) {
      fetched.failure = DownloadFailed(fetched.download, settings.limits);
    }
  } catch (const std::bad_alloc&) {
    fetched.out_of_memory = true;
  }
  if (fetched.out_of_memory) fetched.download.outcome = DownloadResult::Outcome::kFailed;
  fetched.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Writes the copy of `result`'s source from its pending body, with the pending header, in
// one file.
Status StoreCopy(Platform& platform, const SourceResult& result) {
  std::unique_ptr<SequentialFile> body;
  Status read = platform.OpenSequentialFile(result.pending_path, InputKinds::kRegularFiles, &body);
  if (!read.ok()) return read;
  std::string head;
  std::string buffer;
  try {
    head = FormatCopyHeader(result.pending_copy);
    buffer.resize(kReadPieceBytes);
  } catch (const std::bad_alloc&) {
    return OutOfMemory(result.copy_path);
  }
  Status status = platform.WriteFileAtomicInPiecesNoFollow(result.copy_path, [&](const ByteSink& sink) {
    if (!sink(head)) return false;
    for (size_t got = buffer.size(); got == buffer.size();) {
      read = body->Read(buffer.data(), buffer.size(), &got);
      if (!read.ok() || (got > 0 && !sink(std::string_view(buffer.data(), got)))) return false;
    }
    return true;
  });
  return read.ok() ? status : read;
}

// Moves the rejected lines of the load that just ran to the end of `all`.
void KeepRejectedLines(Session& session, std::vector<std::string>* all) {
  const std::vector<std::string>& lines = session.RejectedLines;
  if (lines.size() == 1 && lines[0].empty()) return;
  for (const std::string& line : lines) all->push_back(line);
}

// Loads a copy's body with the parser of its kind; `path` names it in a failure.
Status LoadCopy(std::unique_ptr<SequentialFile> body, const std::string& path, SourceResult& result, Session& session,
                const YieldFn& yield) {
  FilePieces pieces;
  Status status = pieces.Open(std::move(body));
  if (!status.ok()) return AboutSubject(status, path);
  session.ResetRejectedLines();
  status = RowOf(result.source.kind).parse(pieces, session, yield, WwwListing::kFlag);
  result.entries = session.EntriesLoaded;
  return AboutSubject(status, path);
}

// Why a copy or a pending body could not be loaded.
SourceFailure LoadFailure(const Status& status) {
  return FailureOf(status.code() == ErrorCode::kNoMemory ? SourceFailure::Kind::kNoMemory
                                                         : SourceFailure::Kind::kUnreadableCopy);
}

// The source of `result` fails with `failure` (after the failures it had already).
void FailSource(SourceResult& result, SourceFailure failure) {
  result.failures.push_back(std::move(failure));
  result.outcome = SourceResult::Outcome::kFailed;
}

// Loads the last good copy of `result`; false (the source failed, its copy unused) when it
// cannot be read.
bool LoadKeptCopy(Platform& platform, SourceResult& result, Session& session, const YieldFn& yield) {
  CopyHeader header;
  std::unique_ptr<SequentialFile> body;
  Status status = OpenCopy(platform, result.copy_path, &header, &body);
  if (status.ok()) status = LoadCopy(std::move(body), result.copy_path, result, session, yield);
  if (status.ok()) {
    // Another run may have replaced the copy since it was looked at: the digest is the one loaded.
    result.copy = std::move(header);
    return true;
  }
  result.entries = 0;
  result.has_copy = false;
  FailSource(result, LoadFailure(status));
  return false;
}

// Loads the new body of `result` where its copy goes and decides whether it replaces the
// last good copy; false when it does not: nothing of it stays in the lists and the source
// failed with the reason. The pending file is gone either way.
bool LoadNewBody(Platform& platform, SourceResult& result, Session& session, const YieldFn& yield,
                 const TakeShrunkFn& take_shrunk) {
  NewBody& body = result.new_body;
  body.last_entries = result.has_copy ? result.copy.entries : -1;
  const EntryList::Mark blocked = session.blocked.MarkNow();
  const EntryList::Mark redirected = session.redirected.MarkNow();
  // An HTML page is refused before it is read.
  BodyVerdict verdict = JudgeNewBody(NewBody{body.starts_like_html, {}, 1, -1});
  Status status;
  if (verdict == BodyVerdict::kTaken) {
    std::unique_ptr<SequentialFile> file;
    status = platform.OpenSequentialFile(result.pending_path, InputKinds::kRegularFiles, &file);
    if (status.ok()) status = LoadCopy(std::move(file), result.pending_path, result, session, yield);
    body.entries = result.entries;
    if (status.ok()) verdict = JudgeNewBody(body);
  }
  if (status.ok() && (verdict == BodyVerdict::kEmpty || verdict == BodyVerdict::kShrunk) && take_shrunk &&
      take_shrunk(result)) {
    verdict = BodyVerdict::kTaken;
  }
  std::optional<SourceFailure> failure;
  if (!status.ok()) {
    failure = LoadFailure(status);
  } else if (verdict != BodyVerdict::kTaken) {
    failure = FailureOf(SourceFailure::Kind::kRefused);
    failure->verdict = verdict;
    failure->body = body;
  } else {
    result.pending_copy.entries = body.entries;
    const Status stored = StoreCopy(platform, result);
    if (stored.ok()) {
      result.copy = result.pending_copy;
      result.has_copy = true;
    } else {
      failure = NotStored(stored);
    }
  }
  (void)platform.RemoveFile(result.pending_path);
  result.pending_path.clear();
  if (!failure) return true;
  session.blocked.RollBack(blocked);
  session.redirected.RollBack(redirected);
  session.ResetRejectedLines();
  result.entries = 0;
  FailSource(result, std::move(*failure));
  return false;
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
    *error = UnreadableFileText(places.sources_path, status);
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
    *error = SystemSourceRefusalText(CheckSystemSources(*sources));
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
    for (SourceResult& result : results) FailSource(result, FailureOf(SourceFailure::Kind::kNoCacheFolder));
    return results;
  }

  if (Status made = platform.MakeFolders(places.cache_folder); !made.ok()) {
    for (SourceResult& result : results) FailSource(result, NotStored(made));
    return results;
  }

  // Each thread fills the places of its sources; nothing is allocated on the way back, so
  // that a memory failure stays the failure of the source it struck.
  std::vector<Fetched> fetched(results.size());
  for (SourceResult& result : results) result.failures.reserve(kMostFailures);
  std::mutex mutex;
  std::condition_variable done;
  size_t finished = 0;
  std::atomic<size_t> next{0};
  auto worker = [&] {
    for (size_t index = next++; index < results.size(); index = next++) {
      FetchOne(platform, places, results[index], index, settings, fetched[index]);
      std::lock_guard<std::mutex> lock(mutex);
      ++finished;
      done.notify_one();
    }
  };
  std::vector<std::thread> threads;
  const size_t thread_count = std::min<size_t>(kParallelDownloads, results.size());
  for (size_t i = 0; i < thread_count; ++i) threads.emplace_back(worker);
  for (std::unique_lock<std::mutex> lock(mutex); finished < results.size();) {
    if (done.wait_for(lock, kWaitSlice, [&] { return finished == results.size(); })) break;
    lock.unlock();
    if (settings.waiting) settings.waiting();
    lock.lock();
  }
  for (std::thread& thread : threads) thread.join();

  // Once the update is cancelled, the cache stays as it was when it was.
  const bool cancelled = settings.cancel != nullptr && settings.cancel->load();
  for (size_t i = 0; i < results.size(); ++i) {
    SourceResult& result = results[i];
    Fetched& got = fetched[i];
    result.seconds = got.seconds;
    if (got.out_of_memory) got.failure = FailureOf(SourceFailure::Kind::kNoMemory);
    switch (got.download.outcome) {
      case DownloadResult::Outcome::kNotModified:
        result.outcome = result.has_copy ? SourceResult::Outcome::kNotModified : SourceResult::Outcome::kFailed;
        if (!result.has_copy) FailSource(result, FailureOf(SourceFailure::Kind::kNotModifiedWithoutCopy));
        break;
      case DownloadResult::Outcome::kDownloaded:
        if (cancelled) {
          (void)platform.RemoveFile(got.pending_path);
          DownloadResult stopped;
          stopped.failure = DownloadFailure::kCancelled;
          FailSource(result, DownloadFailed(stopped, settings.limits));
          break;
        }
        result.outcome = SourceResult::Outcome::kDownloaded;
        result.bytes = got.header.body_bytes;
        result.pending_path = std::move(got.pending_path);
        result.pending_copy = std::move(got.header);
        result.new_body = std::move(got.body);
        break;
      case DownloadResult::Outcome::kFailed:
        result.outcome = SourceResult::Outcome::kFailed;
        if (got.failure) result.failures.push_back(std::move(*got.failure));
        break;
    }
  }
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
                  const YieldFn& yield, size_t* allowed_removed, const TakeShrunkFn& take_shrunk) {
  // No body stays pending, whatever ends the load.
  struct DropPending {
    Platform& platform;
    std::vector<SourceResult>& results;
    ~DropPending() {
      for (SourceResult& result : results) {
        if (!result.pending_path.empty()) (void)platform.RemoveFile(result.pending_path);
        result.pending_path.clear();
      }
    }
  } drop_pending{platform, results};
  std::vector<std::string> rejected;
  std::int32_t entries = 0;
  *allowed_removed = 0;
  if (platform.PathExists(places.own_path)) {
    session.ResetRejectedLines();
    Status status = ParseHostsFile(platform, places.own_path, session, yield, InputKinds::kRegularFiles, nullptr,
                                   WwwListing::kFlag);
    if (!status.ok() && status.code() != ErrorCode::kEmpty) return status;
    KeepRejectedLines(session, &rejected);
    entries += session.EntriesLoaded;
  }
  for (SourceResult& result : results) {
    bool loaded = !result.pending_path.empty() && LoadNewBody(platform, result, session, yield, take_shrunk);
    if (!loaded && result.has_copy) loaded = LoadKeptCopy(platform, result, session, yield);
    if (!loaded) continue;
    KeepRejectedLines(session, &rejected);
    entries += result.entries;
  }
  if (platform.PathExists(places.allow_path)) {
    Session listed;
    listed.ResetRejectedLines();
    Status status = ParseNamesToRemove(platform, places.allow_path, listed, InputKinds::kRegularFiles);
    if (!status.ok() && status.code() != ErrorCode::kEmpty) return status;
    *allowed_removed = RemoveAllowedNames(session, listed.blocked);
  }
  session.RejectedLines = rejected.empty() ? std::vector<std::string>(1) : std::move(rejected);
  session.EntriesLoaded = entries;
  return Status::Ok();
}

Status TraceName(Platform& platform, const UpdatePlaces& places, const std::vector<SourceResult>& results,
                 const YieldFn& yield, NameTrace& trace, NameSourceLines* found) {
  // own.txt and allow.txt as LoadUpdate loads them: when they are there, whole or not at all.
  auto read_beside = [&](const std::string& path, auto&& find) {
    if (!platform.PathExists(path)) return Status::Ok();
    FilePieces pieces;
    Status status = OpenPieces(platform, path, InputKinds::kRegularFiles, &pieces);
    if (status.ok()) status = AboutSubject(find(pieces), path);
    return status;
  };
  Status failure = read_beside(places.own_path, [&](FilePieces& pieces) {
    return trace.FindNameLines(pieces, SourceKind::kHosts, yield, &found->own);
  });
  found->copies.assign(results.size(), {});
  for (size_t i = 0; i < results.size(); ++i) {
    if (!results[i].has_copy) continue;
    CopyHeader header;
    std::unique_ptr<SequentialFile> body;
    FilePieces pieces;
    if (OpenCopy(platform, results[i].copy_path, &header, &body).ok() && pieces.Open(std::move(body)).ok()) {
      (void)trace.FindNameLines(pieces, results[i].source.kind, yield, &found->copies[i]);
    }
  }
  const Status allow = read_beside(places.allow_path, [&](FilePieces& pieces) {
    return trace.FindAllowLines(pieces, yield, &found->allow);
  });
  return failure.ok() ? allow : failure;
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
  if (places.cache_folder.empty()) return Status(ErrorCode::kNotSupported, "", std::string(kNoCacheFolderText));
  Status status = platform.MakeFolders(places.cache_folder);
  if (!status.ok()) return status;
  return platform.WriteFileAtomicNoFollow(places.cache_folder + kWrittenFileName, FormatWrittenFiles(files));
}

std::string FileDigest(Platform& platform, const std::string& path) {
  std::unique_ptr<SequentialFile> file;
  if (!platform.OpenSequentialFile(path, InputKinds::kRegularFiles, &file).ok()) return std::string();
  Sha256 digest;
  std::string buffer(kReadPieceBytes, '\0');
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
