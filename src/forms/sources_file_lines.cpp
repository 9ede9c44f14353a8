#include "forms/sources_file_lines.h"

#include <utility>

#include "core/text.h"

namespace quorvale {

namespace {

constexpr char kSwitchedOff = '#';

constexpr std::string_view kBlanks = " \t";

bool StartsWithBlank(std::string_view text) { return !text.empty() && (text[0] == ' ' || text[0] == '\t'); }

std::string_view WithoutOuterBlanks(std::string_view line) {
  const size_t first = line.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return line.substr(first, line.find_last_not_of(kBlanks) + 1 - first);
}

// What the editor starts from for a malformed `line`: its words, the last one taken as the
// kind when it names one.
Source GuessedSource(std::string_view line) {
  Source source;
  line = WithoutOuterBlanks(line);
  const size_t last_blank = line.find_last_of(kBlanks);
  if (last_blank != std::string_view::npos) {
    const std::string_view last = line.substr(last_blank + 1);
    if (KindOfWord(last, &source.kind)) line = line.substr(0, line.find_last_not_of(kBlanks, last_blank) + 1);
  }
  source.address.assign(line);
  return source;
}

}  // namespace

SourcesFileLines::SourcesFileLines(std::string_view text) {
  line_end_ = FirstLineEnd(text);
  last_line_ended_ = text.empty() || text.back() == '\n';
  TextLines lines(text, TextLines::LastCr::kKept);
  for (std::string_view line; lines.Next(&line);) lines_.emplace_back(line);
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
    std::vector<Source> sources;
    std::vector<MalformedSourceLine> malformed;
    ReadSourcesFile(line, &sources, &malformed);
    if (!malformed.empty() && entry.enabled) {
      // A line that holds no source and is no comment.
      entry.malformed = std::move(malformed[0].fault);
      entry.source = GuessedSource(line);
    } else if (sources.size() == 1) {
      entry.source = std::move(sources[0]);
    } else {
      continue;
    }
    entry.source.line_number = static_cast<int>(i) + 1;
    entries_.push_back(std::move(entry));
  }
}

std::string_view SourcesFileLines::LineText(size_t index) const {
  return WithoutOuterBlanks(lines_[entries_.at(index).line]);
}

std::string SourcesFileLines::Text() const {
  std::string text;
  for (size_t i = 0; i < lines_.size(); ++i) {
    text += lines_[i];
    if (i + 1 < lines_.size() || last_line_ended_) text += line_end_;
  }
  return text;
}

void SourcesFileLines::Add(std::string_view address, SourceKind kind) {
  last_line_ended_ = true;
  lines_.push_back(SourceLineOf(address, kind));
  FindEntries();
}

void SourcesFileLines::Change(size_t index, std::string_view address, SourceKind kind) {
  const Entry& entry = entries_.at(index);
  lines_[entry.line] = (entry.enabled ? "" : std::string(1, kSwitchedOff)) + SourceLineOf(address, kind);
  FindEntries();
}

void SourcesFileLines::Remove(size_t index) {
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(entries_.at(index).line));
  FindEntries();
}

void SourcesFileLines::SetEnabled(size_t index, bool enabled) {
  const Entry& entry = entries_.at(index);
  if (entry.enabled == enabled || !entry.malformed.none()) return;
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
