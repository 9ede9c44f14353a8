// The about window: its links, its buttons and the system-information tool.

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "forms/main_form_fixture.h"

namespace quorvale::testing {
namespace {

const std::string kUnavailableLine = "System Information Is Unavailable At This Time | OK | none | Quorvale";

class FakeAboutView : public AboutView {
 public:
  void Close() override { closed = true; }
  bool closed = false;
};

class AboutTest : public MainFormTest {
 protected:
  AboutTest() { about_.Start(&about_view_); }
  AboutForm about_{platform_, prompts_};
  FakeAboutView about_view_;
};

// Each link opens its address; nothing else starts.
TEST_F(AboutTest, AClickOnALinkOpensItsAddress) {
  for (int index : {0, 1, 2, 3, -1, 4}) about_.OpenLink(index);
  EXPECT_EQ(platform_.opened_urls,
            (std::vector<std::string>{"https://fr.wikipedia.org/wiki/Hosts",
                                      "https://man7.org/linux/man-pages/man5/hosts.5.html",
                                      "https://winhelp2002.mvps.org/hosts.htm", "https://someonewhocares.org/hosts/"}));
  EXPECT_TRUE(platform_.started.empty());
  EXPECT_TRUE(prompts_.messages.empty());
  EXPECT_FALSE(about_view_.closed);
}

TEST_F(AboutTest, SysInfoStartsTheToolThePlatformFindsOrSaysItIsUnavailable) {
  platform_.system_info_tool = "C:\\Program Files\\Common Files\\Microsoft Shared\\MSInfo\\msinfo32.exe";
  about_.ShowSystemInfo();
  EXPECT_EQ(platform_.started, std::vector<std::vector<std::string>>{{platform_.system_info_tool}});
  EXPECT_EQ(platform_.started_hidden, std::vector<bool>{false});
  EXPECT_TRUE(prompts_.messages.empty());

  platform_.start_program_fails = true;
  prompts_.answers = {Answer::kOk};
  about_.ShowSystemInfo();
  platform_.start_program_fails = false;
  platform_.system_info_tool.clear();
  prompts_.answers = {Answer::kOk};
  about_.ShowSystemInfo();
  EXPECT_EQ(Messages(), (std::vector<std::string>{kUnavailableLine, kUnavailableLine}));
  EXPECT_EQ(platform_.started.size(), 1u);
}

// "A propos" opens the window; "System Info..." leaves it open behind its message; "OK"
// closes it.
TEST_F(AboutTest, AProposShowsTheWindowUntilOk) {
  bool still_open = false;
  view_.about_scripts.push_back([&](AboutForm& about) {
    FakeAboutView window;
    about.Start(&window);
    about.ShowSystemInfo();
    still_open = !window.closed;
    about.Dismiss();
    EXPECT_TRUE(window.closed);
  });
  prompts_.answers = {Answer::kOk};
  form_.ShowAbout();
  EXPECT_TRUE(view_.about_scripts.empty());
  EXPECT_EQ(view_.log, std::vector<std::string>{"about"});
  EXPECT_TRUE(still_open);
  EXPECT_EQ(Messages(), std::vector<std::string>{kUnavailableLine});
  EXPECT_TRUE(platform_.opened_urls.empty());
  EXPECT_TRUE(platform_.started.empty());
}

}  // namespace
}  // namespace quorvale::testing
