// Writing the lists as a HOSTS file: save and replace.

#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "core/hosts_writer.h"
#include "forms/backups_form.h"
#include "forms/main_form.h"
#include "forms/options_form.h"
#include "forms/privileged_step.h"
#include "forms/texts.h"
#include "hosts/hosts_replace.h"
#include "update/kept_redirections.h"
#include "platform/platform.h"
#include "privileged/privileged_steps.h"
#include "update/update_texts.h"

namespace quorvale {

bool MainForm::RunOptionsWindow() {
  OptionsForm form(session_);
  view_->RunOptionsWindow(form);
  return session_.OptionsAccepted;
}

Status MainForm::WriteHostsFile(const std::function<Status(const ReplacementContents&)>& write) {
  const bool include_comments =
      ShowMessage(texts::kIncludeComments, Prompts::Buttons::kYesNo, Prompts::Icon::kNone) == Prompts::Answer::kYes;
  // The lists must not change while they are formatted and written, so no other command
  // may start during the yields.
  view_->SetWindowEnabled(false);
  YieldNow();
  // The file is written as it is formatted, so a big list is never held whole a second time.
  const std::string date_text = platform_.LocalDateTimeText();
  WriteOptions options = WriteOptionsFor(session_, include_comments);
  const Status written = write([&](const std::vector<std::string>& carried_lines, const ByteSink& sink) {
    options.carried_lines = carried_lines;
    return FormatHostsFile(session_, options, date_text, sink, slice_yield_);
  });
  YieldNow();
  view_->SetWindowEnabled(true);
  return written;
}

std::string MainForm::ChooseHostsSaveTarget() {
  if (RefuseBeforeAnyLoad(texts::kLoadFirst)) return {};
  const bool accepted = RunOptionsWindow();
  YieldNow();
  if (!accepted) return {};
  std::string path = ShowSaveDialog();
  if (path.empty() || !ConfirmOverwrite(path)) return {};
  YieldNow();
  return path;
}

void MainForm::SaveAsHosts() {
  CommandScope scope(this);
  const std::string path = ChooseHostsSaveTarget();
  if (path.empty()) return;
  const Status written = WriteHostsFile([this, &path](const ReplacementContents& contents) {
    return platform_.WriteFileAtomicInPieces(path, [&](const ByteSink& sink) { return contents({}, sink); });
  });
  if (!written.ok()) {
    ReportSaveFailed(written);
    return;
  }
  ShowMessage(texts::kFileSaved, Prompts::Buttons::kOk, Prompts::Icon::kNone);
}

void MainForm::ReplaceHosts() {
  // The replace from a command line, for a user who cannot be given the rights here: the
  // lists saved first as a HOSTS file, named by this placeholder.
  constexpr const char* kListsFile = "FICHIER";
  CommandScope scope(this);
  const std::string path = platform_.HostsPath();
  // Whether the write needs rights that cannot be had is known before anything is asked.
  const StepRoute route = ChooseStepRoute(platform_, path);
  if (route == StepRoute::kNotSystemFile) {
    ShowMessage(texts::kSaveFailed, Prompts::Buttons::kOk, Prompts::Icon::kCritical, {}, texts::kNotSystemHosts);
    return;
  }
  if (route == StepRoute::kUnavailable) {
    ShowMessage(texts::kSaveFailed, Prompts::Buttons::kOk, Prompts::Icon::kCritical, {},
                RightsNeededDetail({"quorvale-cli", "--hosts", kListsFile, "--replace-hosts"}));
    return;
  }
  const bool accepted = RunOptionsWindow();
  YieldNow();
  if (!accepted) return;
  if (route == StepRoute::kHelper) return ReplaceThroughHelper(path);
  YieldNow();
  // Until the writing starts, a failing step is skipped: a missing file cannot be made
  // ready, and the write tells whether the file can be replaced. A replace that fails puts
  // back the attributes the file had before the command.
  const int attributes_before = platform_.GetAttributes(path);
  (void)platform_.PrepareReplace(path);
  if (platform_.PathExists(path)) {
    const Prompts::Answer answer = ShowMessage("Voulez vous vraiment remplacer le ficher hosts ?",
                                               Prompts::Buttons::kOkCancel, Prompts::Icon::kNone, texts::kConfirmation);
    YieldNow();
    if (answer != Prompts::Answer::kOk) {
      (void)platform_.SetAttributes(path, kAttrReadOnly | kAttrHidden | kAttrSystem);
      return;
    }
  }

  // The old file is kept as a dated copy beside it, and its lines that the lists cannot hold
  // go into the new one; a file that cannot be read or copied stops the replace before
  // anything is written. While another replace runs, the window waits for it, yielding.
  const KeptRedirections kept = KeepCurrentRedirections(path);
  const Status replaced = WriteHostsFile([this, &path](const ReplacementContents& contents) {
    return ReplaceHostsFile(platform_, path, contents, std::time(nullptr), nullptr, [this] { YieldNow(); });
  });
  if (!replaced.ok()) {
    SaveKeptRedirections(kept, false, {});
    RestoreAttributesAfterFailure(platform_, path, attributes_before);
    ReportSaveFailed(replaced);
    return;
  }
  ShowMessage(texts::kHostsReplaced, Prompts::Buttons::kOk, Prompts::Icon::kNone, {},
              SaveKeptRedirections(kept, true, FlushDnsCacheAfterChange(platform_)));
}

KeptRedirections MainForm::KeepCurrentRedirections(const std::string& path) {
  if (update_sources_path_.empty()) return {};
  KeptRedirections kept =
      quorvale::KeepCurrentRedirections(platform_, PlacesOf(platform_, update_sources_path_), path, session_);
  if (!kept.lines.empty()) view_->ListChanged(2);
  return kept;
}

std::string MainForm::SaveKeptRedirections(const KeptRedirections& kept, bool replaced, const std::string& detail) {
  if (kept.lines.empty()) return detail;
  if (!replaced) {
    // Back as before the replace, so that the next one finds them in the file again.
    session_.redirected.RemoveRowsWhere([&](std::string_view name) {
      for (const KeptLine& line : kept.lines) {
        if (line.name == name) return true;
      }
      return false;
    });
    view_->ListChanged(2);
    return detail;
  }
  const std::string said = KeptLinesText(kept.lines.size(), quorvale::SaveKeptRedirections(platform_, kept));
  return detail.empty() ? said : said + "\n" + detail;
}

void MainForm::ReplaceThroughHelper(const std::string& path) {
  // The helper clears and sets the file's attributes as part of its write: a replace called
  // off here has asked for no rights at all.
  if (platform_.PathExists(path)) {
    const Prompts::Answer answer = ShowMessage("Voulez vous vraiment remplacer le ficher hosts ?",
                                               Prompts::Buttons::kOkCancel, Prompts::Icon::kNone, texts::kConfirmation);
    YieldNow();
    if (answer != Prompts::Answer::kOk) return;
  }
  // The helper puts in the lines of the old file to carry over: the window sends the file
  // without them, formatted as it goes out.
  const KeptRedirections kept = KeepCurrentRedirections(path);
  HelperStepResult result;
  const Status sent = WriteHostsFile([&](const ReplacementContents& contents) {
    const FileContents input = [&](const ByteSink& sink) { return contents({}, sink); };
    result = RunStepInHelper(platform_, {std::string(helper_steps::kReplace)}, &input, [this] { YieldNow(); });
    return Status::Ok();
  });
  (void)sent;
  const bool replaced = result.kind == HelperStepResult::Kind::kDone;
  const std::string detail = SaveKeptRedirections(kept, replaced, replaced ? result.dns_text : std::string());
  if (!replaced) {
    ShowMessage(texts::kSaveFailed, Prompts::Buttons::kOk, Prompts::Icon::kCritical, {}, StepFailureDetail(result));
    return;
  }
  ShowMessage(texts::kHostsReplaced, Prompts::Buttons::kOk, Prompts::Icon::kNone, {}, detail);
}

}  // namespace quorvale
