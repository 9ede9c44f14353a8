#include "gui/prompts.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "gui/app_setup.h"
#include "gui/translation.h"

namespace quorvale {
namespace {

// Answers the message box that is about to open with the button `which`, after recording
// the texts of its buttons, its title and its detail text.
void AnswerNextMessageBox(QMessageBox::StandardButton which, QStringList* buttons, QString* title,
                          QString* detail = nullptr) {
  QTimer::singleShot(0, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    for (QAbstractButton* button : box->buttons()) *buttons << button->text();
    *title = box->windowTitle();
    if (detail != nullptr) *detail = box->detailedText();
    box->button(which)->click();
  });
}

TEST(QtPromptsTest, FrenchButtonsAndAnswers) {
  ASSERT_TRUE(InstallFrenchTranslation());
  QtPrompts prompts;
  QStringList buttons;
  QString title;
  AnswerNextMessageBox(QMessageBox::No, &buttons, &title);
  EXPECT_EQ(prompts.Message(nullptr, "Voulez vous inclure les commentaire ?", Prompts::Buttons::kYesNo,
                            Prompts::Icon::kNone, "Quorvale", ""),
            Prompts::Answer::kNo);
  buttons.sort();
  EXPECT_EQ(buttons, (QStringList{"&Non", "&Oui"}));
  EXPECT_EQ(title, "Quorvale");

  buttons.clear();
  QString detail;
  AnswerNextMessageBox(QMessageBox::Cancel, &buttons, &title, &detail);
  EXPECT_EQ(prompts.Message(nullptr, "Le fichier existe deja, voulez vous l'ecraser ?", Prompts::Buttons::kOkCancel,
                            Prompts::Icon::kNone, "Confirmation", "/tmp/a b.txt"),
            Prompts::Answer::kCancel);
  EXPECT_EQ(buttons.size(), 3) << "OK, Cancel and the one that shows the detail text";
  EXPECT_TRUE(buttons.contains("Annuler") || buttons.contains("&Annuler")) << buttons.join('|').toStdString();
  EXPECT_EQ(title, "Confirmation");
  EXPECT_EQ(detail, "/tmp/a b.txt");
}

}  // namespace
}  // namespace quorvale

namespace quorvale {
namespace {

TEST(AppSetupTest, NameVersionAndIcon) {
  SetUpApplication();
  EXPECT_EQ(QApplication::applicationName(), "Quorvale");
  EXPECT_EQ(QApplication::applicationVersion(), "1.0.183");
  EXPECT_FALSE(QApplication::windowIcon().isNull());
  EXPECT_EQ(QApplication::windowIcon().pixmap(64, 64).size(), QSize(64, 64));
}

}  // namespace
}  // namespace quorvale
