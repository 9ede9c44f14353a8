#include "forms/sources_file_lines.h"

#include <utility>

namespace quorvale {

namespace {

constexpr char kSwitchedOff = '#';

// The source that `line` holds alone, when it holds exactly one.
bool ReadOneSource(std::string_view line, Source* source) {
  std::vector<Source> sources;
  std::string error;
  if (!ParseSourcesFile(line, &sources, &error) || sources.size() != 1) return false;
  *source = std::move(sources[0]);
  return true;
}

bool StartsWithBlank(std::string_view text) { return !text.empty() && (text[0] == ' ' || text[0] == '\t'); }

}  // namespace

SourcesFileLines::SourcesFileLines(std::string_view text) {
  const size_t first_end = text.find('\n');
  if (first_end != std::string_view::npos) line_end_ = first_end > 0 && text[first_end - 1] == '\r' ? "\r\n" : "\n";
  last_line_ended_ = text.empty() || text.back() == '\n';
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (end != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
    lines_.emplace_back(line);
  }
  FindEntries();
}

void SourcesFileLines::FindEntries() {
  entries_.clear();
  for (size_t i = 0; i < lines_.size(); ++i) {
    std::string_view line = lines_[i];
    Entry entry;
    entry.line = i;
    if (!line.empty() && line[0] == kSwitchedOff) {
      line.remove_prefix(1);
      entry.enabled = false;
      if (line.empty() || StartsWithBlank(line) || line[0] == kSwitchedOff) continue;
    }
    if (!ReadOneSource(line, &entry.source)) continue;
    entries_.push_back(std::move(entry));
  }
}

std::string SourcesFileLines::Text() const {
  std::string text;
  for (size_t i = 0; i < lines_.size(); ++i) {
    text += lines_[i];
    if (i + 1 < lines_.size() || last_line_ended_) text += line_end_;
  }
  return text;
}

std::string SourcesFileLines::LineOf(std::string_view address, SourceKind kind) {
  std::string line(address);
  if (kind != SourceKind::kHosts) line += " " + std::string(SourceKindWord(kind));
  return line;
}

void SourcesFileLines::Add(std::string_view address, SourceKind kind) {
  last_line_ended_ = true;
  lines_.push_back(LineOf(address, kind));
  FindEntries();
}

void SourcesFileLines::Change(size_t index, std::string_view address, SourceKind kind) {
  const Entry& entry = entries_.at(index);
  lines_[entry.line] = (entry.enabled ? "" : std::string(1, kSwitchedOff)) + LineOf(address, kind);
  FindEntries();
}

void SourcesFileLines::Remove(size_t index) {
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(entries_.at(index).line));
  FindEntries();
}

void SourcesFileLines::SetEnabled(size_t index, bool enabled) {
  const Entry& entry = entries_.at(index);
  if (entry.enabled == enabled) return;
  std::string& line = lines_[entry.line];
  if (enabled) {
    line.erase(0, 1);
  } else {
    // The blanks before the address go, so that the "#" stands right before it.
    line.erase(0, line.find_first_not_of(" \t"));
    line.insert(0, 1, kSwitchedOff);
  }
  FindEntries();
}

}  // namespace quorvale
