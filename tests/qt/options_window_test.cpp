// The options and about windows on Qt: their widgets, the keys and the wiring of real clicks
// to OptionsForm and AboutForm.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <vector>

#include "core/session.h"
#include "forms/about_form.h"
#include "forms/options_form.h"
#include "qt/about_window.h"
#include "qt/options_window.h"
#include "qt/twips.h"
#include "support/qt_fixture.h"

namespace quorvale::testing {
namespace {

class OptionsWindowTest : public ::testing::Test {
 protected:
  QCheckBox* Box(const char* name) { return Find<QCheckBox>(&window_, name); }
  QPushButton* Button(const char* name) { return Find<QPushButton>(&window_, name); }

  Session session_;
  OptionsForm form_{session_};
  OptionsWindow window_{form_};
};

TEST_F(OptionsWindowTest, TheDesignedWindowWithNoControlOverAnother) {
  window_.show();
  EXPECT_EQ(window_.windowTitle(), "Options");
  EXPECT_EQ(Find<QLabel>(&window_, "Label1")->text(), "Choisissez l'adresse de redirection:");
  EXPECT_EQ(Box("Check1")->text(), "Ajouter une ligne avec www. pour chaque entree");
  EXPECT_EQ(Box("Check2")->text() + " " + Box("Check3")->text(), "127.0.0.1 0.0.0.0");
  EXPECT_TRUE(Box("Check1")->isChecked());
  EXPECT_TRUE(Box("Check2")->isChecked());
  EXPECT_FALSE(Box("Check3")->isChecked());
  EXPECT_EQ(Button("Command1")->text() + " " + Button("Command2")->text(), "OK Annuler");
  EXPECT_EQ(Button("Command2")->geometry(), Twips(options_form_design::kCancelButton.place));
  EXPECT_EQ(window_.focusWidget(), Box("Check1"));

  // Each control shows its whole text inside the window, and none touches another.
  const QList<QWidget*> controls = window_.findChildren<QWidget*>();
  for (QWidget* control : controls) {
    if (auto* box = qobject_cast<QCheckBox*>(control)) {
      EXPECT_GE(box->width(), box->sizeHint().width());
    }
    EXPECT_LE(control->geometry().right(), window_.width()) << control->objectName().toStdString();
    for (QWidget* other : controls) {
      if (other == control) continue;
      EXPECT_FALSE(control->geometry().adjusted(-2, 0, 2, 0).intersects(other->geometry()))
          << control->objectName().toStdString() << " touches " << other->objectName().toStdString();
    }
  }

  // Tab order: the www box, 127.0.0.1, 0.0.0.0, OK, Annuler.
  QStringList order;
  QWidget* widget = Box("Check1");
  for (int i = 0; i < 5; ++i, widget = widget->nextInFocusChain()) order << widget->objectName();
  EXPECT_EQ(order, (QStringList{"Check1", "Check2", "Check3", "Command1", "Command2"}));
}

// Neither button is the default or the cancel button: Enter and Escape leave the window open
// and the session as it was, wherever the focus is.
TEST_F(OptionsWindowTest, EnterAndEscapeDoNothing) {
  session_.OptionsAccepted = true;
  session_.RedirectAddress = "0.0.0.0";
  window_.show();
  for (QWidget* focus : {static_cast<QWidget*>(Box("Check1")), static_cast<QWidget*>(Button("Command1")),
                         static_cast<QWidget*>(Button("Command2"))}) {
    focus->setFocus();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(focus, key);
  }
  EXPECT_TRUE(window_.isVisible());
  EXPECT_TRUE(session_.OptionsAccepted);
  EXPECT_EQ(session_.RedirectAddress, "0.0.0.0");
}

TEST_F(OptionsWindowTest, RealClicksReachOptionsForm) {
  window_.show();
  QTest::mouseClick(Box("Check3"), Qt::LeftButton);
  EXPECT_FALSE(Box("Check2")->isChecked());
  QTest::mouseClick(Box("Check1"), Qt::LeftButton);
  QTest::mouseClick(Button("Command1"), Qt::LeftButton);
  EXPECT_FALSE(window_.isVisible());
  EXPECT_EQ(session_.RedirectAddress, "0.0.0.0");
  EXPECT_FALSE(session_.AddWwwLines);
  EXPECT_TRUE(session_.OptionsAccepted);
}

class AboutWindowTest : public ::testing::Test {
 protected:
  QLabel* Label(const char* name) { return Find<QLabel>(&window_, name); }
  QPushButton* Button(const char* name) { return Find<QPushButton>(&window_, name); }

  FakePlatform platform_;
  ScriptedPrompts prompts_;
  AboutForm form_{platform_, prompts_};
  AboutWindow window_{form_};
};

TEST_F(AboutWindowTest, ShowsTheProgramsTexts) {
  EXPECT_EQ(window_.objectName(), "frmAbout");
  EXPECT_EQ(window_.windowTitle(), "About Quorvale");
  EXPECT_EQ(Label("lblTitle")->text(), "Quorvale");
  EXPECT_EQ(Label("lblTitle")->font().weight(), QFont::Bold);
  EXPECT_EQ(Label("lblTitle")->font().pointSizeF(), Label("lblVersion")->font().pointSizeF());
  EXPECT_EQ(Label("lblVersion")->text(), "Version " QUORVALE_VERSION);
  EXPECT_EQ(Label("lblDescription")->text(), "Description:\r\n\r\nUtilitaire de gestion du fichier Hosts");
  EXPECT_EQ(Label("Label4")->text(), "Réalisé par:");
  EXPECT_EQ(Label("Label5")->text(), "Bramidor");
  EXPECT_EQ(Label("Label3")->text(), "Avec la participation de:");
  EXPECT_EQ(Label("Label1")->text(), "https://winhelp2002.mvps.org/hosts.htm");
  EXPECT_EQ(Label("lblDisclaimer")->text(), "https://man7.org/linux/man-pages/man5/hosts.5.html");
  EXPECT_EQ(Label("Label2")->text(), "https://someonewhocares.org/hosts/");
  EXPECT_EQ(Button("cmdOK")->text(), "OK");
  EXPECT_TRUE(Button("cmdOK")->isDefault());
  EXPECT_EQ(Button("cmdSysInfo")->text(), "&System Info...");
  EXPECT_FALSE(Button("cmdSysInfo")->autoDefault());
}

// A link opens on a left click that is released on it, not on a right click nor on a
// release dragged away.
TEST_F(AboutWindowTest, ALinkOpensOnARealClick) {
  window_.show();
  for (const char* name : {"Label5", "lblDisclaimer", "Label1", "Label2"}) {
    QLabel* label = Label(name);
    EXPECT_TRUE(label->font().underline()) << name;
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::blue)) << name;
    QTest::mouseClick(label, Qt::RightButton);
    QTest::mousePress(label, Qt::LeftButton);
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(-5, -5));
    QTest::mouseClick(label, Qt::LeftButton);
  }
  EXPECT_EQ(platform_.opened_urls,
            (std::vector<std::string>{"https://fr.wikipedia.org/wiki/Hosts",
                                      "https://man7.org/linux/man-pages/man5/hosts.5.html",
                                      "https://winhelp2002.mvps.org/hosts.htm", "https://someonewhocares.org/hosts/"}));
}

// Enter goes to "OK" even with the focus on the other button; Escape closes too.
TEST_F(AboutWindowTest, OkEnterAndEscapeClose) {
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
    window_.show();
    QSignalSpy ok_clicks(Button("cmdOK"), &QPushButton::clicked);
    QTest::keyClick(Button("cmdSysInfo"), key);
    EXPECT_FALSE(window_.isVisible());
    EXPECT_EQ(ok_clicks.count(), key == Qt::Key_Return ? 1 : 0);
  }
  window_.show();
  QTest::mouseClick(Button("cmdOK"), Qt::LeftButton);
  EXPECT_FALSE(window_.isVisible());
  EXPECT_TRUE(prompts_.messages.empty());

  // System Info without a registry says so and the window stays.
  window_.show();
  prompts_.answers.push_back(Prompts::Answer::kOk);
  QTest::mouseClick(Button("cmdSysInfo"), Qt::LeftButton);
  EXPECT_EQ(prompts_.Texts(), std::vector<std::string>{"System Information Is Unavailable At This Time"});
  EXPECT_TRUE(window_.isVisible());
}

}  // namespace
}  // namespace quorvale::testing
