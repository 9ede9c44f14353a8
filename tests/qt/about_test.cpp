// The about window: its texts, its links, its buttons and the system-information tool.

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "qt/form1.h"
#include "qt/frm_about.h"
#include "support/fake_platform.h"
#include "support/scripted_prompts.h"
#include "support/test_files.h"

namespace quorvale::testing {
namespace {

const std::string kPathKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const std::string kFolderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");

// Existence answered from a list, so that Windows paths can be tested anywhere.
class ListedFilesPlatform : public FakePlatform {
 public:
  std::set<std::string> existing;
  std::vector<std::string> asked;
  bool PathFileExists(const std::string& path) override {
    asked.push_back(path);
    return existing.count(path) > 0;
  }
};

class AboutTest : public ::testing::Test {
 protected:
  QLabel* Label(const char* name) { return about_.findChild<QLabel*>(QString::fromLatin1(name)); }
  QPushButton* Button(const char* name) { return about_.findChild<QPushButton*>(QString::fromLatin1(name)); }
  void ExpectUnavailable() {
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_EQ(prompts_.messages[0].text, kUnavailable);
    EXPECT_EQ(prompts_.messages[0].buttons, Prompts::Buttons::kOk);
    EXPECT_EQ(prompts_.messages[0].icon, Prompts::Icon::kNone);
    EXPECT_EQ(prompts_.messages[0].title, QStringLiteral("Quorvale"));
  }

  ListedFilesPlatform platform_;
  ScriptedPrompts prompts_;
  frmAbout about_{platform_, prompts_};
};

TEST_F(AboutTest, ShowsTheProgramsTexts) {
  EXPECT_EQ(about_.objectName(), QStringLiteral("frmAbout"));
  EXPECT_EQ(about_.windowTitle(), QStringLiteral("About Quorvale"));
  EXPECT_EQ(Label("lblTitle")->text(), QStringLiteral("Quorvale"));
  EXPECT_TRUE(Label("lblTitle")->font().bold());
  EXPECT_EQ(Label("lblVersion")->text(), QStringLiteral("Version 1.0.183"));
  EXPECT_EQ(Label("lblDescription")->text(),
            QStringLiteral("Description:\r\n\r\nUtilitaire de gestion du fichier Hosts"));
  EXPECT_EQ(Label("Label4")->text(), QStringLiteral("Réalisé par:"));
  EXPECT_EQ(Label("Label5")->text(), QStringLiteral("Bramidor"));
  EXPECT_EQ(Label("Label3")->text(), QStringLiteral("Avec la participation de:"));
  EXPECT_EQ(Button("cmdOK")->text(), QStringLiteral("OK"));
  EXPECT_TRUE(Button("cmdOK")->isDefault());
  EXPECT_EQ(Button("cmdSysInfo")->text(), QStringLiteral("&System Info..."));
  EXPECT_FALSE(Button("cmdSysInfo")->autoDefault());
}

struct LinkCase {
  const char* label;
  const char* address;
  bool shows_address;
};

void PrintTo(const LinkCase& c, std::ostream* out) { *out << c.label; }

class AboutLinkTest : public AboutTest, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(AboutLinkTest, AClickOpensTheAddress) {
  QLabel* label = Label(GetParam().label);
  ASSERT_NE(label, nullptr);
  EXPECT_TRUE(std::string(GetParam().address).starts_with("https://"));
  if (GetParam().shows_address) {
    EXPECT_EQ(label->text(), QString::fromLatin1(GetParam().address));
  }
  EXPECT_TRUE(label->font().underline());
  EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::blue));

  // Neither a right click nor a release away from the label opens anything.
  QTest::mouseClick(label, Qt::RightButton);
  QTest::mousePress(label, Qt::LeftButton);
  QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(-5, -5));
  EXPECT_TRUE(platform_.opened_urls.empty());

  QTest::mouseClick(label, Qt::LeftButton);
  EXPECT_EQ(platform_.opened_urls, std::vector<std::string>{GetParam().address});
  EXPECT_TRUE(platform_.started.empty());
  EXPECT_TRUE(prompts_.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Links, AboutLinkTest,
                         ::testing::Values(LinkCase{"Label5", frmAbout::kLabel5Address, false},
                                           LinkCase{"Label1", frmAbout::kLabel1Address, true},
                                           LinkCase{"Label2", frmAbout::kLabel2Address, true},
                                           LinkCase{"lblDisclaimer", frmAbout::kDisclaimerAddress, true}),
                         [](const ::testing::TestParamInfo<LinkCase>& param_info) {
                           return std::string(param_info.param.label);
                         });

TEST_F(AboutTest, SysInfoStartsTheRegisteredPathAsItStands) {
  const std::string path = "C:\\Program Files\\Common Files\\Microsoft Shared\\MSInfo\\msinfo32.exe";
  platform_.registry[{kPathKey, "PATH"}] = path;
  platform_.registry[{kFolderKey, "MSINFO"}] = "C:\\WINDOWS\\MSINFO";
  platform_.existing.insert("C:\\WINDOWS\\MSINFO\\MSINFO32.EXE");

  Button("cmdSysInfo")->click();
  EXPECT_EQ(platform_.started, std::vector<std::vector<std::string>>{{path}});
  EXPECT_EQ(platform_.started_hidden, std::vector<bool>{false});
  EXPECT_TRUE(platform_.asked.empty());  // not tested for existence
  EXPECT_TRUE(prompts_.messages.empty());
}

TEST_F(AboutTest, SysInfoFromTheRegisteredFolder) {
  platform_.registry[{kFolderKey, "MSINFO"}] = "C:\\WINDOWS\\MSINFO";
  platform_.existing.insert("C:\\WINDOWS\\MSINFO\\MSINFO32.EXE");

  Button("cmdSysInfo")->click();
  EXPECT_EQ(platform_.asked, std::vector<std::string>{"C:\\WINDOWS\\MSINFO\\MSINFO32.EXE"});
  EXPECT_EQ(platform_.started, std::vector<std::vector<std::string>>{{"C:\\WINDOWS\\MSINFO\\MSINFO32.EXE"}});
  EXPECT_EQ(platform_.started_hidden, std::vector<bool>{false});
  EXPECT_TRUE(prompts_.messages.empty());
}

TEST_F(AboutTest, SysInfoUnavailable) {
  struct Case {
    const char* name;
    std::map<std::pair<std::string, std::string>, std::string> registry;
    bool start_fails;
  };
  const std::vector<Case> cases = {
      {"nothing registered", {}, false},
      {"folder without the tool", {{{kFolderKey, "MSINFO"}, "C:\\Tools"}}, false},
      {"registered path that cannot start", {{{kPathKey, "PATH"}, "C:\\gone\\msinfo32.exe"}}, true},
      {"folder tool that cannot start", {{{kFolderKey, "MSINFO"}, "C:\\WINDOWS\\MSINFO"}}, true},
      {"values under other names", {{{kPathKey, "Path"}, "C:\\x.exe"}, {{kFolderKey, "msinfo"}, "C:\\WINDOWS\\MSINFO"}},
       false},
  };
  platform_.existing.insert("C:\\WINDOWS\\MSINFO\\MSINFO32.EXE");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform_.registry = c.registry;
    platform_.start_program_fails = c.start_fails;
    prompts_.messages.clear();
    prompts_.answers = {Prompts::Answer::kOk};
    about_.StartSysInfo();
    ExpectUnavailable();
    EXPECT_TRUE(platform_.started.empty());
  }
}

TEST_F(AboutTest, GetKeyValueEmptiesTheValueOnFailure) {
  platform_.registry[{kPathKey, "PATH"}] = "C:\\msinfo32.exe";
  std::string value = "old";
  EXPECT_TRUE(about_.GetKeyValue(kHkeyLocalMachine, kPathKey, "PATH", &value));
  EXPECT_EQ(value, "C:\\msinfo32.exe");
  value = "old";
  EXPECT_FALSE(about_.GetKeyValue(kHkeyLocalMachine, kPathKey, "Other", &value));
  EXPECT_EQ(value, "");
  value = "old";
  EXPECT_FALSE(about_.GetKeyValue(0x80000001ul, kPathKey, "PATH", &value));
  EXPECT_EQ(value, "");
}

// The real file system: location 2 names a temporary folder, with or without the tool.
TEST(AboutFolderTest, TheToolInARealFolder) {
  TempDir dir;
  FakePlatform platform;
  ScriptedPrompts prompts;
  platform.registry[{kFolderKey, "MSINFO"}] = dir.path();
  frmAbout about(platform, prompts);

  prompts.answers = {Prompts::Answer::kOk};
  about.StartSysInfo();
  EXPECT_EQ(prompts.Texts(), QStringList{kUnavailable});
  EXPECT_TRUE(platform.started.empty());

  WriteBytes(dir.File("MSINFO32.EXE"), "");
  about.StartSysInfo();
  EXPECT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(platform.started, std::vector<std::vector<std::string>>{{dir.File("MSINFO32.EXE")}});
}

class AboutModalTest : public ::testing::Test {
 protected:
  FakePlatform platform_;
  ScriptedPrompts prompts_;
  Form1 form_{platform_, prompts_};
};

TEST_F(AboutModalTest, AProposShowsTheWindowAndOkClosesIt) {
  bool checked = false;
  prompts_.modal_actions.push_back([&](QDialog* dialog) {
    EXPECT_EQ(dialog->objectName(), QStringLiteral("frmAbout"));
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("About Quorvale"));
    EXPECT_EQ(dialog->parentWidget(), &form_);
    dialog->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    checked = true;
  });
  form_.findChild<QAction*>(QStringLiteral("Apropos"))->trigger();
  EXPECT_EQ(prompts_.modal_count, 1);
  EXPECT_TRUE(checked);
  EXPECT_TRUE(platform_.opened_urls.empty());
  EXPECT_TRUE(platform_.started.empty());
}

TEST_F(AboutModalTest, EnterAndEscapeClose) {
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
    SCOPED_TRACE(key);
    prompts_.modal_actions.push_back([key](QDialog* dialog) {
      // Enter goes to "OK" even with the focus on the other button.
      auto* sys_info = dialog->findChild<QPushButton*>(QStringLiteral("cmdSysInfo"));
      QSignalSpy ok_clicks(dialog->findChild<QPushButton*>(QStringLiteral("cmdOK")), &QPushButton::clicked);
      QTest::keyClick(sys_info, key);
      EXPECT_FALSE(dialog->isVisible());
      EXPECT_EQ(ok_clicks.count(), key == Qt::Key_Return ? 1 : 0);
    });
    form_.Apropos_Click();
  }
  EXPECT_EQ(prompts_.modal_count, 2);
  EXPECT_TRUE(prompts_.messages.empty());
  EXPECT_TRUE(platform_.started.empty());
}

TEST_F(AboutModalTest, SysInfoFromTheOpenWindowWithoutARegistry) {
  prompts_.answers = {Prompts::Answer::kOk};
  prompts_.modal_actions.push_back([](QDialog* dialog) {
    dialog->findChild<QPushButton*>(QStringLiteral("cmdSysInfo"))->click();
    EXPECT_TRUE(dialog->isVisible());  // the window stays open after the message
  });
  form_.Apropos_Click();
  EXPECT_EQ(prompts_.Texts(), QStringList{kUnavailable});
  EXPECT_TRUE(platform_.started.empty());
}

}  // namespace
}  // namespace quorvale::testing
