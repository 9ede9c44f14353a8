#include "forms/sources_form.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "core/path_text.h"
#include "core/text.h"
#include "forms/daily_update.h"
#include "forms/main_form.h"
#include "forms/prompts.h"
#include "forms/texts.h"
#include "platform/file_read.h"
#include "platform/platform.h"
#include "privileged/privileged_steps.h"
#include "update/source_update.h"
#include "update/update_status.h"
#include "update/update_texts.h"

namespace quorvale {

namespace {

// A download that has not received a byte yet.
constexpr std::uint64_t kNoBytesYet = std::numeric_limits<std::uint64_t>::max();

void ShowError(Prompts& prompts, const std::string& text) {
  (void)prompts.Message(text, Prompts::Buttons::kOk, Prompts::Icon::kCritical, texts::kTitle, {});
}

// The text of the file at `path`, "" when it is not there; false (said) when it cannot be read.
bool ReadEditedFile(Platform& platform, Prompts& prompts, const std::string& path, std::string* text) {
  if (!platform.PathExists(path)) {
    text->clear();
    return true;
  }
  const Status status = ReadFileBytes(platform, path, text);
  if (status.ok()) return true;
  ShowError(prompts, path + " n'a pas pu etre lu: " + status.ToString());
  return false;
}

// Writes `text` as the file at `path`, its folder made first.
Status WriteEditedFile(Platform& platform, const std::string& path, const std::string& text) {
  const std::string_view folder = FolderPartOf(path);
  if (!folder.empty()) {
    const Status made = platform.MakeFolders(std::string(folder));
    if (!made.ok()) return made;
  }
  return platform.WriteFileAtomic(path, text);
}

}  // namespace

void ReportFileNotSaved(Prompts& prompts, const Status& status) {
  (void)prompts.Message(texts::kSaveFailed, Prompts::Buttons::kOk, Prompts::Icon::kCritical, texts::kTitle,
                        status.ToString());
}

std::string AddressCutToFit(std::string_view address, const std::function<bool(std::string_view)>& fits) {
  if (fits(address)) return std::string(address);
  constexpr std::string_view kCut = "...";
  // Just past the character that starts at `at`.
  auto next = [&](size_t at) {
    do ++at;
    while (at < address.size() && (static_cast<unsigned char>(address[at]) & 0xC0) == 0x80);
    return at;
  };
  const size_t name = std::min(address.find_last_of("/\\"), address.size());
  size_t tail = name == address.size() ? 0 : name;
  // The address's first `head` bytes, the cut, and its bytes from `tail` on.
  auto cut = [&](size_t head) {
    return std::string(address.substr(0, head)) + std::string(kCut) + std::string(address.substr(tail));
  };
  while (tail < address.size() && !fits(cut(0))) tail = next(tail);
  size_t head = 0;
  while (head < tail && next(head) <= tail && fits(cut(next(head)))) head = next(head);
  return cut(head);
}

Status AppendLine(Platform& platform, const std::string& path, const std::string& line) {
  std::string text;
  if (platform.PathExists(path)) {
    const Status read = ReadFileBytes(platform, path, &text, ReadAs::kBytes);
    if (!read.ok()) return read;
  }
  if (!text.empty() && text.back() != '\n') text += "\r\n";
  return WriteEditedFile(platform, path, text + line + "\r\n");
}

std::string SourcesForm::ShrinkQuestion(const std::string& address, std::int64_t entries, std::int64_t last_entries) {
  return "La source " + address + " ne donne plus que " + std::to_string(entries) + " entrees au lieu de " +
         std::to_string(last_entries) + ". Accepter cette copie ?";
}

std::string SourcesForm::RemoveQuestion(const std::string& address) { return "Supprimer la source " + address + " ?"; }

SourcesForm::SourcesForm(Platform& platform, Prompts& prompts, MainForm& main, YieldFn yield)
    : platform_(platform), prompts_(prompts), main_(main), yield_(std::move(yield)) {}

SourcesForm::~SourcesForm() = default;

void SourcesForm::Start(SourcesView* view) {
  view_ = view;
  const std::string folder = platform_.ConfigFolder();
  sources_path_ = folder.empty() ? std::string() : folder + kFileName;
  std::string text;
  if (!sources_path_.empty() && ReadEditedFile(platform_, prompts_, sources_path_, &text)) {
    file_ = SourcesFileLines(text);
  }
  SetUpdating(false);
  ShowRows();
  view_->SetDailyChecked(DailyUpdateIsOn(platform_));
}

void SourcesForm::ShowRows() {
  const UpdatePlaces places = PlacesOf(platform_, sources_path_);
  std::vector<Source> sources;
  for (const SourcesFileLines::Entry& entry : file_.entries()) {
    if (entry.malformed.none()) sources.push_back(entry.source);
  }
  const std::vector<SourceResult> cached = CachedSources(platform_, places, sources);
  const std::vector<SourceStatus> statuses = ReadUpdateStatus(platform_, places);
  std::vector<SourcesView::Row> rows;
  auto next = cached.begin();
  for (size_t i = 0; i < file_.entries().size(); ++i) {
    const SourcesFileLines::Entry& entry = file_.entries()[i];
    SourcesView::Row row;
    row.enabled = entry.enabled;
    if (!entry.malformed.none()) {
      row.malformed = true;
      row.cells[kAddressColumn] = AddressCell(i);
      row.cells[kKindColumn] = kMalformedKind;
      row.cells[kStateColumn] = SkippedLineText({entry.source.line_number, entry.malformed});
      rows.push_back(std::move(row));
      continue;
    }
    const SourceResult& copy = *next++;
    const Source& source = copy.source;
    row.cells[kAddressColumn] = AddressCell(i);
    row.cells[kKindColumn] = SourceEditorForm::CaptionsOf(source.kind).list_name;
    if (copy.has_copy) row.cells[kDateColumn] = LocalDateText(platform_, copy.copy.fetched);
    const auto outcome = outcomes_.find(source.address);
    if (outcome != outcomes_.end()) {
      row.cells[kStateColumn] = outcome->second[0];
      row.cells[kEntriesColumn] = outcome->second[1];
    } else if (const SourceStatus* last = FindSourceStatus(statuses, source.address)) {
      row.cells[kStateColumn] = LocalDateText(platform_, last->time) + ": " + last->outcome;
      if (last->entries >= 0) row.cells[kEntriesColumn] = std::to_string(last->entries);
    }
    rows.push_back(std::move(row));
  }
  rows_ = std::move(rows);
  view_->SetRows(rows_);
}

bool SourcesForm::Busy(const std::function<void()>& put_back) {
  if (running_ == Running::kNothing && !closed_) return false;
  if (put_back && !closed_) put_back();
  return true;
}

void SourcesForm::SetStateCell(int row, const std::string& text) {
  rows_[static_cast<size_t>(row)].cells[kStateColumn] = text;
  view_->SetCell(row, kStateColumn, text);
}

std::string SourcesForm::AddressCell(size_t entry) const {
  const SourcesFileLines::Entry& line = file_.entries()[entry];
  return line.malformed.none() ? line.source.address : std::string(file_.LineText(entry));
}

bool SourcesForm::Save() {
  const Status status = sources_path_.empty() ? Status(ErrorCode::kNotFound, kFileName, std::string(kNoConfigFolderText))
                                              : WriteEditedFile(platform_, sources_path_, file_.Text());
  if (!status.ok()) ReportFileNotSaved(prompts_, status);
  ShowRows();
  return status.ok();
}

bool SourcesForm::RunEditor(std::string* address, SourceKind* kind) {
  SourceEditorForm editor(prompts_, address->empty() ? SourceEditorForm::kAddCaption : SourceEditorForm::kEditCaption,
                          *address, *kind);
  view_->RunSourceEditor(editor);
  if (!editor.accepted()) return false;
  *address = editor.address();
  *kind = editor.kind();
  return true;
}

void SourcesForm::Add() {
  if (Busy()) return;
  std::string address;
  SourceKind kind = kDefaultSourceKind;
  if (!RunEditor(&address, &kind)) return;
  file_.Add(address, kind);
  Save();
}

void SourcesForm::EditSelected() {
  if (Busy()) return;
  const int row = view_->SelectedRow();
  if (row < 0 || row >= static_cast<int>(file_.entries().size())) return;
  std::string address = file_.entries()[row].source.address;
  SourceKind kind = file_.entries()[row].source.kind;
  if (!RunEditor(&address, &kind)) return;
  file_.Change(static_cast<size_t>(row), address, kind);
  Save();
}

void SourcesForm::RemoveSelected() {
  if (Busy()) return;
  const int row = view_->SelectedRow();
  if (row < 0 || row >= static_cast<int>(file_.entries().size())) return;
  if (prompts_.Message(RemoveQuestion(AddressCell(static_cast<size_t>(row))), Prompts::Buttons::kYesNoDefaultNo,
                       Prompts::Icon::kNone, texts::kConfirmation, {}) != Prompts::Answer::kYes) {
    return;
  }
  file_.Remove(static_cast<size_t>(row));
  Save();
}

void SourcesForm::SwitchSource(int row, bool enabled) {
  const auto put_back = [this] { view_->SetRows(rows_); };
  if (Busy(put_back) || row < 0 || row >= static_cast<int>(file_.entries().size())) return;
  // A malformed line has no box.
  if (!file_.entries()[row].malformed.none()) return put_back();
  file_.SetEnabled(static_cast<size_t>(row), enabled);
  Save();
}

void SourcesForm::ShowAllowedNames() {
  if (Busy()) return;
  AllowedNamesForm names(platform_, prompts_, PlacesOf(platform_, sources_path_).allow_path);
  view_->RunAllowedNamesWindow(names);
}

void SourcesForm::DailyNotSwitched(bool on, const std::string& detail) {
  (void)prompts_.Message(on ? kDailyOnFailed : kDailyOffFailed, Prompts::Buttons::kOk, Prompts::Icon::kCritical,
                         texts::kTitle, detail);
  if (!closed_) view_->SetDailyChecked(!on);
}

void SourcesForm::SwitchDaily(bool on) {
  if (Busy([&] { view_->SetDailyChecked(!on); })) return;
  // The rights are asked for while the window's events run: its commands wait meanwhile.
  running_ = Running::kPrivilegedStep;
  struct StepEnds {
    Running& running;
    ~StepEnds() { running = Running::kNothing; }
  } step_ends{running_};
  std::string input;
  if (on) {
    if (sources_path_.empty()) {
      return DailyNotSwitched(on, Status(ErrorCode::kNotFound, kFileName, std::string(kNoConfigFolderText)).ToString());
    }
    // The system's update takes web addresses only: said before any rights are asked.
    const UpdatePlaces places = PlacesOf(platform_, sources_path_);
    std::vector<Source> sources;
    std::string error;
    if (ReadSources(platform_, places, &sources, &error)) {
      error = sources.empty() ? std::string(kNoSourcesText) : SystemSourceRefusalText(CheckSystemSources(sources));
      if (!error.empty()) error = places.sources_path + ": " + error;
    }
    if (!error.empty()) return DailyNotSwitched(on, error);
    const Status read = ReadDailyUpdateInput(platform_, places, &input);
    if (!read.ok()) return DailyNotSwitched(on, read.ToString());
  }
  HelperStepResult result;
  switch (ChooseAdministratorRoute(platform_)) {
    case StepRoute::kInPlace:
      result = SwitchDailyUpdateInPlace(platform_, on, input);
      break;
    case StepRoute::kHelper: {
      const std::vector<std::string> args = {std::string(helper_steps::kSchedule),
                                             std::string(on ? helper_steps::kScheduleOn : helper_steps::kScheduleOff)};
      const FileContents contents = WholeContents(input);
      result = RunStepInHelper(platform_, args, input.empty() ? nullptr : &contents, yield_);
      break;
    }
    case StepRoute::kNotSystemFile:
    case StepRoute::kUnavailable: {
      // The same step from a command line, which needs the sources file to turn it on.
      std::vector<std::string> command = {"quorvale-cli", "--schedule", on ? "daily" : "off"};
      if (on) command.insert(command.begin() + 1, {"--sources", sources_path_});
      return DailyNotSwitched(on, RightsNeededDetail(command));
    }
  }
  if (result.kind != HelperStepResult::Kind::kDone) return DailyNotSwitched(on, StepFailureDetail(result));
  (void)prompts_.Message(on ? kDailyOn : kDailyOff, Prompts::Buttons::kOk, Prompts::Icon::kNone, texts::kTitle,
                         on ? kDailyCopied : "");
}

void SourcesForm::SetUpdating(bool updating) {
  running_ = updating ? Running::kUpdate : Running::kNothing;
  for (int i = 0; i < kSourcesControlCount; ++i) {
    const auto control = static_cast<SourcesControl>(i);
    view_->SetControlEnabled(control, (control == SourcesControl::kCancel) == updating);
  }
}

void SourcesForm::ShowProgress() {
  if (closed_ || cancel_) return;
  for (size_t i = 0; i < bytes_shown_.size(); ++i) {
    const std::uint64_t bytes = bytes_[i].load(std::memory_order_relaxed);
    if (bytes == bytes_shown_[i]) continue;
    bytes_shown_[i] = bytes;
    if (rows_of_sources_[i] < 0) continue;
    SetStateCell(rows_of_sources_[i], std::to_string(bytes) + " octets");
  }
}

void SourcesForm::Update() {
  if (Busy() || sources_path_.empty()) return;
  if (main_.session().RowCount() > 0 &&
      prompts_.Message(kReplaceQuestion, Prompts::Buttons::kYesNo, Prompts::Icon::kNone, texts::kConfirmation, {}) !=
          Prompts::Answer::kYes) {
    return;
  }
  const UpdatePlaces places = PlacesOf(platform_, sources_path_);
  std::vector<Source> sources;
  std::string error;
  std::vector<std::string> skipped;  // the list shows them
  if (!ReadSources(platform_, places, &sources, &error, &skipped)) {
    ShowError(prompts_, error);
    return;
  }
  if (sources.empty()) {
    ShowError(prompts_, places.sources_path + ": " + std::string(kNoSourcesText));
    return;
  }
  // The rows that show the sources: the file's lines tell them apart.
  rows_of_sources_.assign(sources.size(), -1);
  for (size_t i = 0; i < sources.size(); ++i) {
    for (size_t row = 0; row < file_.entries().size(); ++row) {
      if (file_.entries()[row].line + 1 == static_cast<size_t>(sources[i].line_number)) {
        rows_of_sources_[i] = static_cast<int>(row);
      }
    }
  }
  bytes_ = std::make_unique<std::atomic<std::uint64_t>[]>(sources.size());
  for (size_t i = 0; i < sources.size(); ++i) bytes_[i] = kNoBytesYet;
  bytes_shown_.assign(sources.size(), kNoBytesYet);
  for (int row : rows_of_sources_) {
    if (row >= 0) SetStateCell(row, "");
  }
  cancel_ = false;
  SetUpdating(true);

  FetchSettings settings;
  settings.progress = [this](size_t index, std::uint64_t bytes) {
    bytes_[index].store(bytes, std::memory_order_relaxed);
  };
  settings.cancel = &cancel_;
  settings.waiting = [this] {
    ShowProgress();
    if (yield_) yield_();
  };
  std::vector<SourceResult> results = FetchSources(platform_, places, sources, settings);
  ShowProgress();

  bool any_copy = false;
  for (const SourceResult& result : results) any_copy = any_copy || result.has_copy || !result.pending_path.empty();
  if (!cancel_ && !any_copy) ShowError(prompts_, "aucune source n'a pu etre obtenue, rien n'est charge");
  const bool loaded = !cancel_ && any_copy && main_.LoadSourcesUpdate(places, results);
  if (!cancel_) SaveUpdateStatus(platform_, places, results, loaded);
  size_t had = 0;
  for (const SourceResult& result : results) had += result.outcome != SourceResult::Outcome::kFailed;
  const std::string summary = cancel_ ? std::string(kCancelledState) : UpdateSummaryText(had, results.size());
  for (const SourceResult& result : results) {
    std::array<std::string, 2>& outcome = outcomes_[result.source.address];
    if (cancel_) {
      outcome = {kCancelledState, ""};
    } else {
      outcome = {SourceOutcomeText(result), result.has_copy && loaded ? std::to_string(result.entries) : ""};
    }
  }
  if (closed_) {
    running_ = Running::kNothing;
    return;
  }
  SetUpdating(false);
  ShowRows();
  view_->SetSummary(summary);
}

void SourcesForm::CancelUpdate() {
  if (running_ != Running::kUpdate || cancel_ || closed_) return;
  cancel_ = true;
  view_->SetControlEnabled(SourcesControl::kCancel, false);
  for (int row : rows_of_sources_) {
    if (row >= 0) SetStateCell(row, kCancellingState);
  }
}

void SourcesForm::CloseWindow() {
  WindowClosing();
  view_->Close();
}

void SourcesForm::WindowClosing() {
  if (closed_) return;
  cancel_ = true;
  closed_ = true;
}

void SourceEditorForm::Start(SourceEditorView* view) {
  view_ = view;
  view_->SetAddress(address_);
  view_->SetKind(kind_);
}

void SourceEditorForm::Accept() {
  // Spaces around a typed or pasted address are no part of it.
  const std::string address(TrimSpaces(view_->Address()));
  const SourceFault fault = CheckSourceAddress(address);
  if (!fault.none()) {
    ShowError(prompts_, SourceFaultText(fault));
    return;
  }
  address_ = address;
  kind_ = view_->Kind();
  accepted_ = true;
  view_->Close();
}

void SourceEditorForm::Cancel() { view_->Close(); }

void AllowedNamesForm::Start(AllowedNamesView* view) {
  view_ = view;
  ReadNames();
}

void AllowedNamesForm::ReadNames() {
  lines_.clear();
  name_lines_.clear();
  std::string text;
  if (!ReadEditedFile(platform_, prompts_, allow_path_, &text)) return;
  line_end_ = FirstLineEnd(text);
  std::vector<std::string> names;
  TextLines lines(text, TextLines::LastCr::kDropped);
  for (std::string_view line; lines.Next(&line);) {
    lines_.emplace_back(line);
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') continue;
    const size_t last = line.find_last_not_of(" \t");
    names.emplace_back(line.substr(first, last - first + 1));
    name_lines_.push_back(lines_.size() - 1);
  }
  view_->SetNames(names);
}

void AllowedNamesForm::RemoveSelected() {
  const int row = view_->SelectedRow();
  if (row < 0 || row >= static_cast<int>(name_lines_.size())) return;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(name_lines_[row]));
  std::string text;
  for (const std::string& line : lines_) text += line + line_end_;
  const Status status = WriteEditedFile(platform_, allow_path_, text);
  if (!status.ok()) ReportFileNotSaved(prompts_, status);
  ReadNames();
}

}  // namespace quorvale
