#include "platform/file_read.h"

#include <memory>
#include <new>
#include <utility>

#include "core/utf16.h"

namespace quorvale {

namespace {

// The room a whole read starts with when the file does not say its size; it doubles as needed.
constexpr size_t kFirstReadBytes = size_t{1} << 16;

// Reads the whole of `file` into `out`, straight into the result, growing it when the file is
// longer than it said (a file that grows meanwhile, or one whose size cannot be known).
Status ReadAll(SequentialFile& file, std::string* out) {
  const uint64_t size = file.size_hint();
  size_t capacity = size > 0 ? static_cast<size_t>(size) + 1 : kFirstReadBytes;
  size_t used = 0;
  while (true) {
    if (out->size() < capacity) out->resize(capacity);
    size_t got = 0;
    Status status = file.Read(out->data() + used, out->size() - used, &got);
    if (!status.ok()) return status;
    used += got;
    if (used < out->size()) break;
    capacity = out->size() * 2;
  }
  out->resize(used);
  return Status::Ok();
}

}  // namespace

Status ReadFileBytes(Platform& platform, const std::string& path, std::string* out, ReadAs as, InputKinds kinds) {
  out->clear();
  std::unique_ptr<SequentialFile> file;
  Status status = platform.OpenSequentialFile(path, kinds, &file);
  if (!status.ok()) return status;
  try {
    status = ReadAll(*file, out);
    std::string text;
    if (status.ok() && as == ReadAs::kText && DecodeIfUtf16(*out, &text)) out->swap(text);
  } catch (const std::bad_alloc&) {
    status = OutOfMemory(path);
  }
  if (!status.ok()) std::string().swap(*out);
  return status;
}

Status OpenPieces(Platform& platform, const std::string& path, InputKinds kinds, FilePieces* pieces) {
  std::unique_ptr<SequentialFile> file;
  Status status = platform.OpenSequentialFile(path, kinds, &file);
  if (!status.ok()) return status;
  return AboutSubject(pieces->Open(std::move(file)), path);
}

}  // namespace quorvale
