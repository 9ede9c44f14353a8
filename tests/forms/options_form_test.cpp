// The options window: its first state, the exclusive address boxes and what each way of
// leaving it does to the session.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "core/session.h"
#include "forms/options_form.h"
#include "support/case_name.h"
#include "support/fake_views.h"

namespace quorvale::testing {
namespace {

// A fresh options window over `session`, loaded as a view loads it.
struct OptionsWindow {
  explicit OptionsWindow(Session& session) : form(session), view(form) { form.Start(&view); }
  OptionsForm form;
  FakeOptionsView view;
};

TEST(OptionsFormTest, DesignState) {
  Session session;
  OptionsWindow window(session);
  EXPECT_EQ(window.view.Checked(), "127.0.0.1,www");
}

struct ClickCase {
  const char* name;
  std::vector<OptionsBox> clicks;
  const char* checked;
};
void PrintTo(const ClickCase& c, std::ostream* out) { *out << c.name; }

class OptionsClickTest : public ::testing::TestWithParam<ClickCase> {};

TEST_P(OptionsClickTest, TheTwoAddressesStayExclusive) {
  Session session;
  OptionsWindow window(session);
  for (OptionsBox box : GetParam().clicks) window.view.Click(box);
  EXPECT_EQ(window.view.Checked(), GetParam().checked);
  EXPECT_FALSE(window.view.closed);
}

constexpr OptionsBox kLoopback = OptionsBox::kLoopbackAddress;
constexpr OptionsBox kZero = OptionsBox::kZeroAddress;
INSTANTIATE_TEST_SUITE_P(
    Clicks, OptionsClickTest,
    ::testing::Values(ClickCase{"Check2", {kLoopback}, "0.0.0.0,www"},  // ticked 127.0.0.1 moves to 0.0.0.0
                      ClickCase{"Check3", {kZero}, "0.0.0.0,www"},      // 0.0.0.0 chosen
                      ClickCase{"Check2Twice", {kLoopback, kLoopback}, "127.0.0.1,www"},  // and back
                      ClickCase{"Check3ThenCheck2", {kZero, kLoopback}, "127.0.0.1,www"},
                      // the ticked 0.0.0.0 stays ticked
                      ClickCase{"Check3Twice", {kZero, kZero}, "0.0.0.0,www"},
                      ClickCase{"Check2ThenCheck3", {kLoopback, kZero}, "0.0.0.0,www"},
                      ClickCase{"Check1", {OptionsBox::kWwwLines}, "127.0.0.1"}),
    CaseName());

TEST(OptionsFormTest, OkStoresTheChoice) {
  Session session;
  OptionsWindow first(session);
  first.form.Accept();
  EXPECT_TRUE(first.view.closed);
  EXPECT_EQ(session.RedirectAddress, "127.0.0.1");
  EXPECT_TRUE(session.AddWwwLines);
  EXPECT_TRUE(session.OptionsAccepted);

  OptionsWindow second(session);
  second.view.Click(kZero);
  second.view.Click(OptionsBox::kWwwLines);
  second.form.Accept();
  EXPECT_EQ(session.RedirectAddress, "0.0.0.0");
  EXPECT_FALSE(session.AddWwwLines);
  EXPECT_TRUE(session.OptionsAccepted);
}

TEST(OptionsFormTest, AnnulerAndTheCloseBox) {
  Session session;
  session.RedirectAddress = "0.0.0.0";
  session.AddWwwLines = false;
  session.OptionsAccepted = true;
  {
    // The close box runs neither button: the earlier choice stands.
    OptionsWindow window(session);
    window.view.Click(OptionsBox::kWwwLines);
  }
  EXPECT_EQ(session.RedirectAddress, "0.0.0.0");
  EXPECT_FALSE(session.AddWwwLines);
  EXPECT_TRUE(session.OptionsAccepted);

  OptionsWindow window(session);
  window.view.Click(OptionsBox::kWwwLines);
  window.view.Click(kLoopback);
  window.form.Cancel();
  EXPECT_TRUE(window.view.closed);
  EXPECT_EQ(session.RedirectAddress, "0.0.0.0");
  EXPECT_FALSE(session.AddWwwLines);
  EXPECT_FALSE(session.OptionsAccepted);
}

}  // namespace
}  // namespace quorvale::testing
