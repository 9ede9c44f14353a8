#include "support/fake_platform.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace quorvale::testing {

FakePlatform::FakePlatform() : real_(CreateSystemPlatform()) {}

void FakePlatform::Watch(const std::string& call) {
  if (watch) watch(call);
}

Status FakePlatform::BeforeWrite(const std::string& path) {
  Watch("write " + path);
  if (std::find(failing_writes.begin(), failing_writes.end(), path) != failing_writes.end()) {
    return Status(ErrorCode::kAccessDenied, path, "refused by the test");
  }
  return Status::Ok();
}

Status FakePlatform::SetAttributes(const std::string& path, int attributes) {
  Watch("attributes " + path + " " + std::to_string(attributes));
  attribute_calls.emplace_back(path, attributes);
  if (std::find(refused_attributes.begin(), refused_attributes.end(), path) != refused_attributes.end()) {
    return Status(ErrorCode::kAccessDenied, path, "refused by the test");
  }
  return real_->SetAttributes(path, attributes);
}

bool FakePlatform::PathExists(const std::string& path) {
  Watch("exists " + path);
  return real_->PathExists(path);
}

void FakePlatform::Sleep(int milliseconds) {
  Watch("sleep " + std::to_string(milliseconds));
  sleeps.push_back(milliseconds);
}

Status FakePlatform::StartProgram(const std::vector<std::string>& argv, bool hidden) {
  Watch("start " + (argv.empty() ? std::string() : argv[0]));
  if (start_program_fails) return Status(ErrorCode::kNotFound, argv.empty() ? "" : argv[0], "");
  started.push_back(argv);
  started_hidden.push_back(hidden);
  return Status::Ok();
}

Status FakePlatform::ShowTextFile(const std::string& path) {
  shown_files.push_back(path);
  return Status::Ok();
}

Status FakePlatform::OpenUrl(const std::string& url) {
  opened_urls.push_back(url);
  return Status::Ok();
}

Status FakePlatform::WriteFileAtomic(const std::string& path, std::string_view bytes) {
  if (Status refused = BeforeWrite(path); !refused.ok()) return refused;
  return real_->WriteFileAtomic(path, bytes);
}

Status FakePlatform::WriteFileAtomicNoFollow(const std::string& path, std::string_view bytes) {
  if (Status refused = BeforeWrite(path); !refused.ok()) return refused;
  return real_->WriteFileAtomicNoFollow(path, bytes);
}

Status FakePlatform::OpenSequentialFile(const std::string& path, InputKinds kinds,
                                        std::unique_ptr<SequentialFile>* file) {
  if (std::find(failing_reads.begin(), failing_reads.end(), path) != failing_reads.end()) {
    file->reset();
    return Status(ErrorCode::kAccessDenied, path, "refused by the test");
  }
  return real_->OpenSequentialFile(path, kinds, file);
}

Status FakePlatform::ReplaceProtectedFile(const std::string& path, const FileContents& contents, int attributes) {
  if (Status refused = BeforeWrite(path); !refused.ok()) return refused;
  return real_->ReplaceProtectedFile(path, contents, attributes);
}

Status FakePlatform::LockForReplace(const std::string& path, int timeout_milliseconds,
                                    const std::function<void()>& waiting, std::unique_ptr<HeldLock>* lock) {
  Watch("lock " + path);
  if (replace_lock_busy) {
    if (waiting) waiting();
    return Status(ErrorCode::kBusy, path, "");
  }
  return real_->LockForReplace(path, timeout_milliseconds, waiting, lock);
}

DownloadResult FakePlatform::Download(const DownloadRequest& request, const DownloadProgress& progress) {
  const auto found = downloads.find(request.url);
  DownloadResult result;
  if (found == downloads.end()) {
    result.failure = DownloadFailure::kConnect;
    return result;
  }
  result = found->second;
  if (result.outcome == DownloadResult::Outcome::kDownloaded) {
    result.body_bytes = result.body.size();
    if (request.body_sink) {
      if (!request.body_sink(result.body)) {
        result.outcome = DownloadResult::Outcome::kFailed;
        result.failure = DownloadFailure::kNotStored;
      }
      result.body.clear();
    }
  }
  if (result.failure != DownloadFailure::kCancelled) return result;
  // Bounded, so that a test that never cancels ends all the same.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (progress(result.body.size()) && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  result.body.clear();
  return result;
}

}  // namespace quorvale::testing
