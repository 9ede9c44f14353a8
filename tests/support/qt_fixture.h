#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>

#include "forms/main_form.h"
#include "qt/main_window.h"
#include "qt/report_list_view.h"
#include "support/fake_platform.h"
#include "support/scripted_prompts.h"
#include "support/test_files.h"

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace quorvale::testing {

// The child of `parent` called `name`; fails the test when there is none.
template <typename T>
T* Find(const QObject* parent, const char* name) {
  T* found = parent->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(found, nullptr) << name;
  return found;
}

// Runs `action` on the next modal window once it is open (a message box, a file dialog, the
// options or the about window); the test fails if none opens within kModalWaitMilliseconds.
// A command that lets events run before its window opens (a search that yields) is waited for.
inline constexpr int kModalWaitMilliseconds = 30000;
inline constexpr int kModalPollMilliseconds = 10;

inline void WaitForModal(QWidget* before, int waited, std::function<void(QWidget*)> action) {
  QWidget* modal = QApplication::activeModalWidget();
  if ((modal == nullptr || modal == before) && waited < kModalWaitMilliseconds) {
    QTimer::singleShot(kModalPollMilliseconds, [before, waited, action = std::move(action)]() mutable {
      WaitForModal(before, waited + kModalPollMilliseconds, std::move(action));
    });
    return;
  }
  EXPECT_TRUE(modal != nullptr && modal != before) << "no modal window opened";
  if (modal != nullptr && modal != before) action(modal);
}

inline void OnNextModal(std::function<void(QWidget*)> action) {
  QWidget* before = QApplication::activeModalWidget();
  QTimer::singleShot(0, [before, action = std::move(action)]() mutable { WaitForModal(before, 0, std::move(action)); });
}

// The real Qt main window over MainForm, the program and the HOSTS file in a fresh folder.
class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    platform_.executable_path = dir_.File("quorvale");
    platform_.hosts_path = dir_.File("HOSTS");
    WriteBytes(dir_.File("subinacl"), "");  // the report then goes beside the program
    window_ = std::make_unique<MainWindow>(form_);
    window_->show();
  }

  QAction* Action(const char* name) { return Find<QAction>(window_.get(), name); }
  ReportListView* View(const char* name) { return Find<ReportListView>(window_.get(), name); }

  TempDir dir_;
  FakePlatform platform_;
  ScriptedPrompts prompts_;
  MainForm form_{platform_, prompts_};
  std::unique_ptr<MainWindow> window_;
};

}  // namespace quorvale::testing
