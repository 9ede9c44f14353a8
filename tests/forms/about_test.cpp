// The about window: its texts, its links, its buttons and the system-information tool.

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "forms/form1_fixture.h"

namespace quorvale::testing {
namespace {

const std::string kUnavailableLine = "System Information Is Unavailable At This Time | OK | none | Quorvale";

class FakeAboutView : public AboutView {
 public:
  void Close() override { closed = true; }
  bool closed = false;
};

class AboutTest : public Form1Test {
 protected:
  AboutTest() { about_.Form_Load(&about_view_); }
  frmAbout about_{platform_, prompts_};
  FakeAboutView about_view_;
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

TEST_F(AboutTest, SysInfoStartsTheToolThePlatformFindsOrSaysItIsUnavailable) {
  platform_.system_info_tool = "C:\\Program Files\\Common Files\\Microsoft Shared\\MSInfo\\msinfo32.exe";
  about_.cmdSysInfo_Click();
  EXPECT_EQ(platform_.started, std::vector<std::vector<std::string>>{{platform_.system_info_tool}});
  EXPECT_EQ(platform_.started_hidden, std::vector<bool>{false});
  EXPECT_TRUE(prompts_.messages.empty());

  platform_.start_program_fails = true;
  prompts_.answers = {Answer::kOk};
  about_.cmdSysInfo_Click();
  platform_.start_program_fails = false;
  platform_.system_info_tool.clear();
  prompts_.answers = {Answer::kOk};
  about_.cmdSysInfo_Click();
  EXPECT_EQ(Messages(), (std::vector<std::string>{kUnavailableLine, kUnavailableLine}));
  EXPECT_EQ(platform_.started.size(), 1u);
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
