// Times the window's road through a big HOSTS file, in process, under whatever Qt platform
// the environment selects (offscreen for the benchmark): the load through "Charger le
// fichier hosts", the longest gap between two event-loop turns during that load, and a
// header click that orders the whole list by "Description"; then Ctrl+A in that list and
// Delete, each timed until the list has repainted. The fixed waits are skipped.
//
//   quorvale-gui-bench HOSTS_FILE   ->   load_ms=<n> max_gap_ms=<n> click_ms=<n> rows=<n>
//                                        select_all_ms=<n> delete_ms=<n> rows_left=<n>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "forms/main_form.h"
#include "forms/prompts.h"
#include "platform/platform.h"
#include "qt/main_window.h"
#include "qt/report_list_view.h"

namespace {

// The real platform, except that the fixed waits, attribute changes and the report viewer
// are skipped and the HOSTS path is the file under test.
class BenchPlatform : public quorvale::Platform {
 public:
  explicit BenchPlatform(std::string hosts) : real_(quorvale::CreateSystemPlatform()), hosts_(std::move(hosts)) {}
  std::string GetSystemDir() override { return real_->GetSystemDir(); }
  std::string HostsPath() override { return hosts_; }
  std::string ExecutablePath() override { return real_->ExecutablePath(); }
  std::string UserDataFolder() override { return real_->UserDataFolder(); }
  quorvale::Status SetAttributes(const std::string&, int) override { return quorvale::Status::Ok(); }
  int GetAttributes(const std::string& path) override { return real_->GetAttributes(path); }
  bool PathExists(const std::string& path) override { return real_->PathExists(path); }
  void Sleep(int) override {}
  quorvale::Status StartProgram(const std::vector<std::string>&, bool) override { return quorvale::Status::Ok(); }
  quorvale::Status ShowTextFile(const std::string&) override { return quorvale::Status::Ok(); }
  quorvale::Status OpenUrl(const std::string&) override { return quorvale::Status::Ok(); }
  std::string GetCurrentUserName() override { return real_->GetCurrentUserName(); }
  std::string SystemInfoToolPath() override { return {}; }
  quorvale::Status WriteFileAtomic(const std::string& path, std::string_view bytes) override {
    return real_->WriteFileAtomic(path, bytes);
  }
  quorvale::Status WriteFileAtomicNoFollow(const std::string& path, std::string_view bytes) override {
    return real_->WriteFileAtomicNoFollow(path, bytes);
  }
  quorvale::Status OpenSequentialFile(const std::string& path, quorvale::InputKinds kinds,
                                      std::unique_ptr<quorvale::SequentialFile>* file) override {
    return real_->OpenSequentialFile(path, kinds, file);
  }
  quorvale::Status CopyToNewFile(const std::string& from, const std::string& to) override {
    return real_->CopyToNewFile(from, to);
  }
  quorvale::Status ReadRegularFile(const std::string& path, std::string* bytes) override {
    return real_->ReadRegularFile(path, bytes);
  }
  quorvale::Status PrepareReplace(const std::string&) override { return quorvale::Status::Ok(); }
  quorvale::Status ReplaceProtectedFile(const std::string& path, const quorvale::FileContents& contents,
                                        int attributes) override {
    return real_->ReplaceProtectedFile(path, contents, attributes);
  }
  quorvale::Status LockForReplace(const std::string& path, int timeout_milliseconds,
                                  const std::function<void()>& waiting, std::unique_ptr<HeldLock>* lock) override {
    return real_->LockForReplace(path, timeout_milliseconds, waiting, lock);
  }
  EntryFacts FactsOf(const std::string& path) override { return real_->FactsOf(path); }
  quorvale::Status RemoveFile(const std::string& path) override { return real_->RemoveFile(path); }
  std::vector<std::string> ListFolder(const std::string& folder) override { return real_->ListFolder(folder); }
  std::int64_t FileModifiedTime(const std::string& path) override { return real_->FileModifiedTime(path); }
  std::int64_t FileSize(const std::string& path) override { return real_->FileSize(path); }
  quorvale::DnsFlushOutcome FlushDnsCache(int) override { return {}; }
  std::string LocalDateTimeText() override { return real_->LocalDateTimeText(); }
  std::string AnsiToUtf8(std::string_view bytes) override { return real_->AnsiToUtf8(bytes); }
  quorvale::DownloadResult Download(const quorvale::DownloadRequest& request,
                                    const quorvale::DownloadProgress& progress) override {
    return real_->Download(request, progress);
  }
  std::string ConfigFolder() override { return real_->ConfigFolder(); }
  std::string CacheFolder() override { return real_->CacheFolder(); }
  std::string SystemSourcesFolder() override { return real_->SystemSourcesFolder(); }
  quorvale::Status MakeFolders(const std::string& path) override { return real_->MakeFolders(path); }
  std::string AbsolutePath(const std::string& path) override { return real_->AbsolutePath(path); }
  std::string CanonicalPath(const std::string& path) override { return real_->CanonicalPath(path); }
  bool IsElevated() override { return false; }
  quorvale::Status RunProgram(const std::vector<std::string>& argv, int wait, int* exit_code) override {
    return real_->RunProgram(argv, wait, exit_code);
  }
#ifndef _WIN32
  quorvale::Status ReadProgramOutput(const std::vector<std::string>& argv, int wait, std::string* output) override {
    return real_->ReadProgramOutput(argv, wait, output);
  }
#endif
  bool CanReplaceInPlace(const std::string&) override { return true; }
  bool CanRunElevated() override { return false; }
  bool OnlyAdministratorsCanChange(const std::string&) override { return false; }
  quorvale::Status MakeAdministratorsFolder(const std::string& path) override { return real_->MakeFolders(path); }
  quorvale::ElevatedRun RunElevated(const std::string&, const std::vector<std::string>&, const quorvale::FileContents*,
                                    const std::function<void()>&) override {
    return {};
  }

 private:
  std::unique_ptr<quorvale::Platform> real_;
  std::string hosts_;
};

// Nothing is asked during a load; any question gets the default answer.
class SilentPrompts : public quorvale::Prompts {
 public:
  Answer Message(const std::string&, Buttons, Icon, const std::string&, const std::string&) override {
    return Answer::kOk;
  }
  std::string OpenFileName(const std::string&, const std::string&, const std::vector<quorvale::FileFilter>&,
                           int*) override {
    return {};
  }
  std::string SaveFileName(const std::string&, const std::string&, const std::vector<quorvale::FileFilter>&,
                           int*) override {
    return {};
  }
};

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quorvale-gui-bench HOSTS_FILE\n");
    return 1;
  }
  QApplication app(argc, argv);
  BenchPlatform platform(argv[1]);
  SilentPrompts prompts;
  quorvale::MainForm form(platform, prompts);
  quorvale::MainWindow window(form);
  window.show();
  QCoreApplication::processEvents();

  // A zero-interval timer fires once per event-loop turn; the longest time between two
  // firings is the longest time the window could not react.
  QElapsedTimer turn_clock;
  qint64 max_gap = 0;
  bool measuring = false;
  QTimer turns;
  turns.setInterval(0);
  QObject::connect(&turns, &QTimer::timeout, [&] {
    if (measuring) max_gap = std::max(max_gap, turn_clock.elapsed());
    turn_clock.restart();
  });

  QElapsedTimer load_clock;
  QTimer::singleShot(0, [&] {
    turns.start();
    turn_clock.start();
    measuring = true;
    load_clock.start();
    window.findChild<QAction*>(QStringLiteral("OpenHostFile"))->trigger();
    qint64 load_ms = load_clock.elapsed();
    max_gap = std::max(max_gap, turn_clock.elapsed());
    measuring = false;
    turns.stop();

    auto* view = window.findChild<quorvale::ReportListView*>(QStringLiteral("ListView1"));
    QElapsedTimer click_clock;
    click_clock.start();
    emit view->header()->sectionClicked(1);
    view->viewport()->repaint();
    qint64 click_ms = click_clock.elapsed();

    const size_t rows = form.session().RowCount();

    // A key as the user presses it: through the list's own key handling.
    auto press = [view](int key, Qt::KeyboardModifiers modifiers) {
      QKeyEvent event(QEvent::KeyPress, key, modifiers);
      QCoreApplication::sendEvent(view, &event);
      QCoreApplication::processEvents();
      view->viewport()->repaint();
    };
    view->setFocus();
    QElapsedTimer select_clock;
    select_clock.start();
    press(Qt::Key_A, Qt::ControlModifier);
    const qint64 select_ms = select_clock.elapsed();
    QElapsedTimer delete_clock;
    delete_clock.start();
    press(Qt::Key_Delete, Qt::NoModifier);
    const qint64 delete_ms = delete_clock.elapsed();

    std::printf("load_ms=%lld max_gap_ms=%lld click_ms=%lld rows=%zu select_all_ms=%lld delete_ms=%lld rows_left=%zu\n",
                static_cast<long long>(load_ms), static_cast<long long>(max_gap), static_cast<long long>(click_ms),
                rows, static_cast<long long>(select_ms), static_cast<long long>(delete_ms),
                form.session().RowCount());
    std::fflush(stdout);
    QCoreApplication::exit(0);
  });
  return QApplication::exec();
}
