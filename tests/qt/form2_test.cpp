#include "qt/form2.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "core/session.h"
#include "support/scripted_prompts.h"

namespace quorvale {
namespace {

QCheckBox* Box(Form2& form, const char* name) { return form.findChild<QCheckBox*>(QString::fromLatin1(name)); }
QPushButton* Button(Form2& form, const char* name) {
  return form.findChild<QPushButton*>(QString::fromLatin1(name));
}

TEST(Form2Test, DesignState) {
  Session session;
  Form2 form(session);
  EXPECT_EQ(form.windowTitle(), "Options");
  EXPECT_EQ(form.findChild<QLabel*>("Label1")->text(), "Choisissez l'adresse de redirection:");
  EXPECT_EQ(Box(form, "Check1")->text(), "Ajouter une ligne avec www. pour chaque entree");
  EXPECT_EQ(Box(form, "Check2")->text(), "127.0.0.1");
  EXPECT_EQ(Box(form, "Check3")->text(), "0.0.0.0");
  EXPECT_TRUE(Box(form, "Check1")->isChecked());
  EXPECT_TRUE(Box(form, "Check2")->isChecked());
  EXPECT_FALSE(Box(form, "Check3")->isChecked());
  EXPECT_EQ(Button(form, "Command1")->text(), "OK");
  EXPECT_EQ(Button(form, "Command2")->text(), "Annuler");
  EXPECT_FALSE(Button(form, "Command1")->isDefault());
  EXPECT_FALSE(Button(form, "Command2")->isDefault());
  // Controls keep their design places; a check box grows to show its whole text.
  for (const char* name : {"Check1", "Check2", "Check3"}) {
    EXPECT_GE(Box(form, name)->width(), Box(form, name)->sizeHint().width()) << name;
    EXPECT_LE(Box(form, name)->geometry().right(), form.width()) << name;
  }
  EXPECT_EQ(Box(form, "Check2")->geometry().topLeft(), QPoint(208, 24));
  EXPECT_EQ(Box(form, "Check3")->geometry().topLeft(), QPoint(296, 24));
  EXPECT_EQ(Button(form, "Command2")->geometry(), QRect(192, 88, 73, 25));
}

struct ClickCase {
  std::vector<const char*> clicks;
  bool check2;
  bool check3;
};

class Form2ClickTest : public ::testing::TestWithParam<ClickCase> {};

TEST_P(Form2ClickTest, TheTwoAddressesStayExclusive) {
  Session session;
  Form2 form(session);
  form.show();
  for (const char* name : GetParam().clicks) Box(form, name)->click();
  EXPECT_EQ(Box(form, "Check2")->isChecked(), GetParam().check2);
  EXPECT_EQ(Box(form, "Check3")->isChecked(), GetParam().check3);
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, Form2ClickTest,
    ::testing::Values(ClickCase{{"Check2"}, false, true},            // ticked 127.0.0.1 moves to 0.0.0.0
                      ClickCase{{"Check3"}, false, true},            // 0.0.0.0 chosen
                      ClickCase{{"Check2", "Check2"}, true, false},  // and back
                      ClickCase{{"Check3", "Check2"}, true, false},
                      ClickCase{{"Check3", "Check3"}, false, true},  // the ticked 0.0.0.0 stays ticked
                      ClickCase{{"Check2", "Check3"}, false, true}));

TEST(Form2Test, OkStoresTheChoice) {
  Session session;
  {
    Form2 form(session);
    form.show();
    Button(form, "Command1")->click();
    EXPECT_FALSE(form.isVisible());
  }
  EXPECT_EQ(session.RedirectAddress, "127.0.0.1");
  EXPECT_TRUE(session.AddWwwLines);
  EXPECT_TRUE(session.OptionsAccepted);

  Form2 form(session);
  form.show();
  Box(form, "Check3")->click();
  Box(form, "Check1")->click();
  Button(form, "Command1")->click();
  EXPECT_EQ(session.RedirectAddress, "0.0.0.0");
  EXPECT_FALSE(session.AddWwwLines);
  EXPECT_TRUE(session.OptionsAccepted);
}

TEST(Form2Test, AnnulerAndTheCloseBox) {
  Session session;
  session.RedirectAddress = "0.0.0.0";
  session.AddWwwLines = false;
  session.OptionsAccepted = true;
  {
    // The close box runs neither button: the earlier choice stands.
    Form2 form(session);
    form.show();
    Box(form, "Check1")->click();
    form.close();
  }
  EXPECT_EQ(session.RedirectAddress, "0.0.0.0");
  EXPECT_FALSE(session.AddWwwLines);
  EXPECT_TRUE(session.OptionsAccepted);
  {
    Form2 form(session);
    form.show();
    Box(form, "Check1")->click();
    Box(form, "Check2")->click();
    Button(form, "Command2")->click();
  }
  EXPECT_EQ(session.RedirectAddress, "0.0.0.0");
  EXPECT_FALSE(session.AddWwwLines);
  EXPECT_FALSE(session.OptionsAccepted);
}

}  // namespace
}  // namespace quorvale
