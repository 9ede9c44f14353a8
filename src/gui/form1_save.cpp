// Writing the lists as a HOSTS file: save and replace.

#include <ctime>
#include <string>
#include <string_view>

#include "core/hosts_writer.h"
#include "gui/form1.h"
#include "gui/form2.h"
#include "platform/hosts_replace.h"
#include "platform/platform.h"

namespace quorvale {

namespace {

const QString kConfirmationTitle = QStringLiteral("Confirmation");
const QString kWriteFailed = QStringLiteral("Echec! le fichier n'a pas pu etre enregistre.");

// Shows a fresh options window and waits for it. True when it was left with "OK", or closed
// with its close box after an earlier "OK" of the run (the earlier choice then stands).
bool RunOptionsWindow(Session& session, Prompts& prompts, QWidget* owner) {
  Form2 form(session, owner);
  prompts.RunModal(&form);
  return session.OptionsAccepted;
}

}  // namespace

Status Form1::WriteHostsFile(const std::function<Status(std::string_view)>& write) {
  const bool include_comments =
      ShowMessage(QStringLiteral("Voulez vous inclure les commentaire ?"), Prompts::Buttons::kYesNo,
                  Prompts::Icon::kNone) == Prompts::Answer::kYes;
  // The lists must not change while they are formatted and written, so no other command
  // may start during the yields.
  setEnabled(false);
  YieldNow();
  std::string bytes;
  FormatHostsFile(session_, session_.AddWwwLines, session_.RedirectAddress, include_comments, CurrentDateTimeText(),
                  &bytes, slice_yield_);
  const Status written = write(bytes);
  YieldNow();
  setEnabled(true);
  return written;
}

void Form1::SaveAs_Click() {
  CommandScope scope(this);
  if (FilesLoaded_ == 0) {
    ShowMessage(QStringLiteral("vous devez d'abord charger un ficher d'adresse!"), Prompts::Buttons::kOk,
                Prompts::Icon::kNone);
    return;
  }
  const bool accepted = RunOptionsWindow(session_, prompts_, this);
  YieldNow();
  if (!accepted) return;

  const std::string path =
      ShowSaveDialog(QStringLiteral("Fichiers Texte (.txt)"), QStringLiteral("*.txt")).toStdString();
  if (path.empty()) return;
  if (platform_.PathFileExists(path)) {
    if (ShowMessage(QStringLiteral("Le fichier existe deja, voulez vous l'ecraser ?"), Prompts::Buttons::kOkCancel,
                    Prompts::Icon::kNone, kConfirmationTitle) != Prompts::Answer::kOk) {
      return;
    }
    // A file that stays read-only makes the write below fail, which is reported there.
    (void)platform_.SetFileAttributes(path, kAttrNormal);
  }

  YieldNow();
  const Status written =
      WriteHostsFile([this, &path](std::string_view bytes) { return platform_.WriteFileAtomic(path, bytes); });
  if (!written.ok()) {
    ShowMessage(kWriteFailed, Prompts::Buttons::kOk, Prompts::Icon::kCritical);
    return;
  }
  ShowMessage(QStringLiteral("Fichier enregistre"), Prompts::Buttons::kOk, Prompts::Icon::kNone);
}

void Form1::ReplaceHosts_Click() {
  CommandScope scope(this);
  const bool accepted = RunOptionsWindow(session_, prompts_, this);
  YieldNow();
  if (!accepted) return;

  const std::string path = platform_.HostsPath();
  YieldNow();
  // Until the writing starts, a failing step is skipped: a missing file cannot be made
  // normal, and the write tells whether the file can be replaced.
  (void)platform_.SetFileAttributes(path, kAttrNormal);
  if (platform_.PathFileExists(path)) {
    const Prompts::Answer answer =
        ShowMessage(QStringLiteral("Voulez vous vraiment remplacer le ficher hosts ?"), Prompts::Buttons::kOkCancel,
                    Prompts::Icon::kNone, kConfirmationTitle);
    YieldNow();
    if (answer != Prompts::Answer::kOk) {
      (void)platform_.SetFileAttributes(path, kAttrReadOnlyHiddenSystem);
      return;
    }
    // ReplaceHostsFile makes the file normal again before it copies and writes it.
  }

  // The old file is kept as a dated copy beside it; a copy that cannot be made stops the
  // replace before anything is written.
  const Status replaced = WriteHostsFile([this, &path](std::string_view bytes) {
    return ReplaceHostsFile(platform_, path, bytes, std::time(nullptr));
  });
  if (!replaced.ok()) {
    ShowMessage(kWriteFailed, Prompts::Buttons::kOk, Prompts::Icon::kCritical);
    return;
  }
  ShowMessage(QStringLiteral("Fichier hosts remplace"), Prompts::Buttons::kOk, Prompts::Icon::kNone);
}

}  // namespace quorvale
