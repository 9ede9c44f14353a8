#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/download.h"
#include "core/name_origin.h"
#include "core/session.h"
#include "core/source_copy.h"
#include "core/sources_file.h"
#include "core/status.h"
#include "core/update_record.h"
#include "core/yield.h"
#include "platform/platform.h"

// An update from a sources file: every source's copy fetched into the cache (the last good
// copy kept when a source fails), then own.txt, the copies and allow.txt loaded into the
// lists as one load. Shared by the command line and the window.

namespace quorvale {

// At most this many sources are downloaded at once.
inline constexpr int kParallelDownloads = 4;

// Where the files of an update are.
struct UpdatePlaces {
  std::string sources_path;  // the sources file, absolute
  std::string folder;        // its folder, with a trailing separator
  std::string own_path;      // own.txt beside it: the user's own lines, loaded first
  std::string allow_path;    // allow.txt beside it: the names kept out
  std::string cache_folder;  // the cache of this sources file, with a trailing separator
};

// The places of the sources file `sources_path`: its cache folder is a folder of the
// platform's cache folder named from the file's absolute path. An empty cache_folder when
// the platform has none.
UpdatePlaces PlacesOf(Platform& platform, const std::string& sources_path);

// Why a source failed, with the facts its words need (SourceFailureText says it).
struct SourceFailure {
  enum class Kind {
    kDownload,                // the download failed: `download`, `http_status`, `detail`, `limits`
    kLocalRead,               // a local source could not be read: `code`, `detail`
    kNotStored,               // a body or a copy could not be written in the cache: `detail`
    kNoMemory,                // memory ran out
    kNoCacheFolder,           // the platform has no cache folder
    kNotModifiedWithoutCopy,  // the server said the copy is current, but there is none
    kUnreadableCopy,          // the cached copy, or the new body, could not be read
    kRefused,                 // the new body does not look like a list: `verdict`, `body`
  };
  Kind kind = Kind::kDownload;
  DownloadFailure download = DownloadFailure::kOther;
  int http_status = 0;                   // the last answer's status
  DownloadLimits limits;                 // the ones the download ran with
  ErrorCode code = ErrorCode::kIoError;  // the read's failure
  std::string detail;                    // the system's own text, when it gave one
  BodyVerdict verdict = BodyVerdict::kTaken;
  NewBody body;
};

// What became of one source in an update.
struct SourceResult {
  enum class Outcome {
    kDownloaded,   // a new body came (pending until the load takes it); after the load: a new
                   // copy replaced the cached one
    kNotModified,  // the cached copy is current (304, or a local file of the same size and time)
    kFailed,       // `failures` say why; the last good copy, when there is one, is used
  };
  Source source;
  Outcome outcome = Outcome::kFailed;
  // kFailed: why, in the order the failures came (the fetch's, then the last good copy's).
  std::vector<SourceFailure> failures;
  bool has_copy = false;         // a copy (new or last good) is in the cache and is used
  CopyHeader copy;               // its header, when has_copy
  std::string copy_path;         // the copy file
  std::uint64_t bytes = 0;       // kDownloaded: the body's size
  double seconds = 0;            // how long the fetch took
  std::int32_t entries = 0;      // entries the copy gave in the load (LoadUpdate)
  // A new body waits in this file of the cache folder until the load decides whether it
  // replaces the last good copy ("" when there is none); its header and what is known of it.
  std::string pending_path;
  CopyHeader pending_copy;
  NewBody new_body;
};

// Reads and checks the sources file; on an unreadable file `*error` says why and nothing is
// fetched. A malformed line is left out and said in `*skipped` (the file's path, then
// SkippedLineText), or, when `skipped` is null, stops the reading as an unreadable file does.
// The sources file of the platform's SystemSourcesFolder takes web addresses only
// (CheckSystemSources).
bool ReadSources(Platform& platform, const UpdatePlaces& places, std::vector<Source>* sources, std::string* error,
                 std::vector<std::string>* skipped = nullptr);

struct FetchSettings {
  DownloadLimits limits;
  std::string ca_file;  // tests only, see DownloadRequest
  // Hears the bytes received so far by source `index`, from the downloading threads.
  std::function<void(size_t index, std::uint64_t bytes)> progress;
  // When it turns true the downloads stop, and a body that arrives after it is not stored:
  // every cached copy stays as it was then.
  const std::atomic<bool>* cancel = nullptr;
  // Called on the calling thread while it waits for the downloads (the window yields).
  YieldFn waiting;
};

// Fetches every source, kParallelDownloads at a time: each new body is written to a pending
// file of the cache folder as it arrives (never held whole in memory), digested on the way;
// the cached copies stay as they were until LoadUpdate takes a body. A pending file of a run
// that was stopped is removed by the next fetch of its source. A source that fails (memory
// that runs out included) keeps its last good copy; once `settings.cancel` is set, no body is
// left pending.
std::vector<SourceResult> FetchSources(Platform& platform, const UpdatePlaces& places,
                                       const std::vector<Source>& sources, const FetchSettings& settings);

// The copies' headers as the cache holds them, without fetching anything (for --why).
std::vector<SourceResult> CachedSources(Platform& platform, const UpdatePlaces& places,
                                        const std::vector<Source>& sources);

// The digest of everything the update uses: each copy's digest and kind, in order, and the
// bytes of own.txt and allow.txt. The same inputs give the same digest. After LoadUpdate, the
// copies are those the load used.
std::string UpdateInputsDigest(Platform& platform, const UpdatePlaces& places, const std::vector<SourceResult>& results);

// Asked by LoadUpdate whether a new body that holds no entry or less than half the entries
// of the last good copy (result.new_body) replaces it all the same; never for an HTML page.
using TakeShrunkFn = std::function<bool(const SourceResult& result)>;

// Loads own.txt (when there is one), then every source in the sources file's order with the
// parser of its kind, then takes the names of allow.txt out, into `session`, as one load: the
// rejected lines of all of them make one report, and EntriesLoaded counts them all. A new
// body is loaded in place of the last good copy; when it does not look like a list
// (JudgeNewBody, unless `take_shrunk` takes it) its rows and rejected lines are taken out
// again, the source fails with the reason and the last good copy is loaded instead. A body
// taken becomes the source's copy, with its entries in the header. A copy that cannot be read
// is its source's failure (and leaves the cache, so that the next fetch is unconditional).
// No pending file is left. Sets each result's `entries`, and `*allowed_removed` to the rows
// allow.txt took out. A failure (own.txt or allow.txt that cannot be read) says which file.
Status LoadUpdate(Platform& platform, const UpdatePlaces& places, std::vector<SourceResult>& results, Session& session,
                  const YieldFn& yield, size_t* allowed_removed, const TakeShrunkFn& take_shrunk = {});

// The lines of an update's inputs that give a name or take it out (see NameTrace).
struct NameSourceLines {
  std::vector<NameLine> own;                  // own.txt
  std::vector<std::vector<NameLine>> copies;  // each source's copy, in the sources' order
  std::vector<NameLine> allow;                // allow.txt
};

// Follows `trace`'s name through what LoadUpdate loads for `results` (CachedSources: the
// copies of the cache), each file read as the load reads it but a piece at a time and without
// loading the lists; offers `yield` as the loads do. A copy that cannot be read is left out,
// as the load leaves it out. Fails where LoadUpdate fails (own.txt or allow.txt that cannot
// be read, saying which file), the lines of the other files found still.
Status TraceName(Platform& platform, const UpdatePlaces& places, const std::vector<SourceResult>& results,
                 const YieldFn& yield, NameTrace& trace, NameSourceLines* found);

// The record of the files that updates wrote (written.txt in the cache folder); empty when
// there is none.
std::vector<WrittenFile> ReadWrittenFiles(Platform& platform, const UpdatePlaces& places);
Status SaveWrittenFiles(Platform& platform, const UpdatePlaces& places, const std::vector<WrittenFile>& files);

// Sha256Hex of the file at `path` as it is now; "" when it cannot be read.
std::string FileDigest(Platform& platform, const std::string& path);

// Appends one line to the update log of the cache folder (update.log), keeping the last ones.
void LogUpdate(Platform& platform, const UpdatePlaces& places, const std::string& line);

}  // namespace quorvale
