#include "update_record.h"

#include <charconv>
#include <utility>

#include "text.h"

namespace quorvale {

namespace {

constexpr char kFieldSeparator = '\t';
// A record's fields: the target, the inputs' digest, the file's digest and the entries.
constexpr std::size_t kRecordFields = 4;

}  // namespace

std::string FormatWrittenFiles(const std::vector<WrittenFile>& files) {
  std::string out;
  for (const WrittenFile& file : files) {
    out.append(file.target) += kFieldSeparator;
    out.append(file.inputs_digest) += kFieldSeparator;
    out.append(file.file_digest) += kFieldSeparator;
    out.append(std::to_string(file.entries)) += '\n';
  }
  return out;
}

std::vector<WrittenFile> ParseWrittenFiles(std::string_view text) {
  std::vector<WrittenFile> files;
  TextLines lines(text, TextLines::LastCr::kDropped);
  for (std::string_view line; lines.Next(&line);) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
      const std::size_t end = line.find(kFieldSeparator, start);
      fields.push_back(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
      if (end == std::string_view::npos) break;
      start = end + 1;
    }
    if (fields.size() != kRecordFields) continue;
    WrittenFile file{std::string(fields[0]), std::string(fields[1]), std::string(fields[2]), -1};
    const std::string_view entries = fields[3];
    const auto [end, error] = std::from_chars(entries.data(), entries.data() + entries.size(), file.entries);
    if (error != std::errc() || end != entries.data() + entries.size()) continue;
    if (file.target.empty() || file.inputs_digest.empty() || file.file_digest.empty()) continue;
    files.push_back(std::move(file));
  }
  return files;
}

void RecordWrittenFile(std::vector<WrittenFile>* files, const WrittenFile& file) {
  for (WrittenFile& known : *files) {
    if (known.target == file.target) {
      known = file;
      return;
    }
  }
  files->push_back(file);
}

std::string AppendLogLine(std::string_view log, std::string_view line, std::size_t keep) {
  std::string out(log);
  if (!out.empty() && !out.ends_with('\n')) out += '\n';
  out.append(line) += '\n';
  // The start of the last `keep` lines: just after the LF that ends the line before them.
  std::size_t start = out.size() - 1;
  for (std::size_t lines = 0; lines < keep; ++lines) {
    const std::size_t previous_end = start == 0 ? std::string::npos : out.rfind('\n', start - 1);
    if (previous_end == std::string::npos) return out;
    start = previous_end;
  }
  return out.substr(start + 1);
}

}  // namespace quorvale
