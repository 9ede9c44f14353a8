// The about window: its texts, its links, its buttons and the system-information tool.

#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "forms/form1_fixture.h"

namespace quorvale::testing {
namespace {

const std::string kPathKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const std::string kFolderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
const std::string kUnavailableLine = "System Information Is Unavailable At This Time | OK | none | Quorvale";

class FakeAboutView : public AboutView {
 public:
  void Close() override { closed = true; }
  bool closed = false;
};

class AboutTest : public Form1Test {
 protected:
  AboutTest() { about_.Form_Load(&about_view_); }
  // Records every path whose existence is asked in asked_.
  void WatchExists() {
    platform_.watch = [this](const std::string& call) {
      if (call.rfind("exists ", 0) == 0) asked_.push_back(call.substr(7));
    };
  }
  // The tool in the test folder, joined with the folder's own separator.
  std::string Tool() const {
#ifdef _WIN32
    return dir_.path() + "\\MSINFO32.EXE";
#else
    return dir_.path() + "/MSINFO32.EXE";
#endif
  }

  frmAbout about_{platform_, prompts_};
  FakeAboutView about_view_;
  std::vector<std::string> asked_;
};

TEST_F(AboutTest, TheProgramsTexts) {
  EXPECT_EQ(frmAbout::Caption(), "About Quorvale");
  EXPECT_EQ(frmAbout::TitleText(), "Quorvale");
  EXPECT_EQ(frmAbout::VersionText(), "Version 1.0.183");
  EXPECT_EQ(frmAbout::DescriptionText(), "Description:\r\n\r\nUtilitaire de gestion du fichier Hosts");
  EXPECT_STREQ(frmAbout::kLabel4Caption, "Réalisé par:");
  EXPECT_STREQ(frmAbout::kLabel3Caption, "Avec la participation de:");
  EXPECT_STREQ(frmAbout::kOkCaption, "OK");
  EXPECT_STREQ(frmAbout::kSysInfoCaption, "&System Info...");
}

// Each link shows its caption and opens its address; nothing else starts.
TEST_F(AboutTest, AClickOnALinkOpensItsAddress) {
  const std::vector<std::vector<std::string>> links = {
      {"Label5", "Bramidor", "https://fr.wikipedia.org/wiki/Hosts"},
      {"lblDisclaimer", "https://man7.org/linux/man-pages/man5/hosts.5.html",
       "https://man7.org/linux/man-pages/man5/hosts.5.html"},
      {"Label1", "https://winhelp2002.mvps.org/hosts.htm", "https://winhelp2002.mvps.org/hosts.htm"},
      {"Label2", "https://someonewhocares.org/hosts/", "https://someonewhocares.org/hosts/"}};
  ASSERT_EQ(std::size(frmAbout::kLinks), links.size());
  std::vector<std::string> opened;
  for (size_t i = 0; i < links.size(); ++i) {
    const frmAbout::Link& link = frmAbout::kLinks[i];
    EXPECT_EQ((std::vector<std::string>{link.name, link.caption, link.address}), links[i]);
    about_.Link_Click(static_cast<int>(i));
    opened.push_back(links[i][2]);
    EXPECT_EQ(platform_.opened_urls, opened);
  }
  about_.Link_Click(-1);
  about_.Link_Click(4);
  EXPECT_EQ(platform_.opened_urls.size(), 4u);
  EXPECT_TRUE(platform_.started.empty());
  EXPECT_TRUE(prompts_.messages.empty());
  EXPECT_FALSE(about_view_.closed);
}

TEST_F(AboutTest, SysInfoStartsTheRegisteredPathAsItStands) {
  const std::string path = "C:\\Program Files\\Common Files\\Microsoft Shared\\MSInfo\\msinfo32.exe";
  platform_.registry[{kPathKey, "PATH"}] = path;
  platform_.registry[{kFolderKey, "MSINFO"}] = dir_.path();
  WriteBytes(Tool(), "");
  WatchExists();
  about_.cmdSysInfo_Click();
  EXPECT_EQ(platform_.started, std::vector<std::vector<std::string>>{{path}});
  EXPECT_EQ(platform_.started_hidden, std::vector<bool>{false});
  EXPECT_TRUE(asked_.empty());  // not tested for existence
  EXPECT_TRUE(prompts_.messages.empty());
}

// Location 2 names a real folder, with or without the tool; its own separators join the name.
TEST_F(AboutTest, SysInfoFromTheRegisteredFolder) {
  platform_.registry[{kFolderKey, "MSINFO"}] = dir_.path();
  const std::string tool = Tool();
  prompts_.answers = {Answer::kOk};
  about_.StartSysInfo();
  EXPECT_EQ(Messages(), std::vector<std::string>{kUnavailableLine});
  EXPECT_TRUE(platform_.started.empty());

  WriteBytes(tool, "");
  WatchExists();
  about_.StartSysInfo();
  EXPECT_EQ(asked_, std::vector<std::string>{tool});
  EXPECT_EQ(platform_.started, std::vector<std::vector<std::string>>{{tool}});
  EXPECT_EQ(platform_.started_hidden, std::vector<bool>{false});
  EXPECT_EQ(prompts_.messages.size(), 1u);
}

TEST_F(AboutTest, SysInfoUnavailable) {
  struct Case {
    const char* name;
    std::map<std::pair<std::string, std::string>, std::string> registry;
    bool start_fails;
    std::vector<std::string> asked;
  };
  WriteBytes(Tool(), "");
  const std::vector<Case> cases = {
      {"nothing registered", {}, false, {}},
      {"folder without the tool", {{{kFolderKey, "MSINFO"}, "C:\\Quorvale\\Nowhere"}}, false,
       {"C:\\Quorvale\\Nowhere\\MSINFO32.EXE"}},
      {"registered path that cannot start", {{{kPathKey, "PATH"}, "C:\\gone\\msinfo32.exe"}}, true, {}},
      {"folder tool that cannot start", {{{kFolderKey, "MSINFO"}, dir_.path()}}, true,
       {Tool()}},
      {"values under other names", {{{kPathKey, "Path"}, "C:\\x.exe"}, {{kFolderKey, "msinfo"}, dir_.path()}}, false,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform_.registry = c.registry;
    platform_.start_program_fails = c.start_fails;
    prompts_.messages.clear();
    prompts_.answers = {Answer::kOk};
    asked_.clear();
    WatchExists();
    about_.StartSysInfo();
    EXPECT_EQ(Messages(), std::vector<std::string>{kUnavailableLine});
    EXPECT_EQ(asked_, c.asked);
    EXPECT_TRUE(platform_.started.empty());
  }
}

// "A propos" opens the window; "System Info..." leaves it open behind its message; "OK"
// closes it.
TEST_F(AboutTest, AProposShowsTheWindowUntilOk) {
  bool still_open = false;
  view_.about_scripts.push_back([&](frmAbout& about) {
    FakeAboutView window;
    about.Form_Load(&window);
    about.cmdSysInfo_Click();
    still_open = !window.closed;
    about.cmdOK_Click();
    EXPECT_TRUE(window.closed);
  });
  prompts_.answers = {Answer::kOk};
  form_.Apropos_Click();
  EXPECT_TRUE(view_.about_scripts.empty());
  EXPECT_EQ(view_.log, std::vector<std::string>{"about"});
  EXPECT_TRUE(still_open);
  EXPECT_EQ(Messages(), std::vector<std::string>{kUnavailableLine});
  EXPECT_TRUE(platform_.opened_urls.empty());
  EXPECT_TRUE(platform_.started.empty());
}

}  // namespace
}  // namespace quorvale::testing
