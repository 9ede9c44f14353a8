#include "qt/qt_prompts.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "qt/app_setup.h"
#include "qt/translation.h"

namespace quorvale {
namespace {

// Answers the message box that is about to open with the button `which` (NoButton: the
// Escape key), after recording the texts of its buttons, its title, icon and detail text.
void AnswerNextMessageBox(QMessageBox::StandardButton which, QStringList* buttons, QString* title,
                          QString* detail = nullptr, QMessageBox::Icon* icon = nullptr) {
  QTimer::singleShot(0, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    for (QAbstractButton* button : box->buttons()) *buttons << button->text();
    *title = box->windowTitle();
    if (detail != nullptr) *detail = box->detailedText();
    if (icon != nullptr) *icon = box->icon();
    if (which == QMessageBox::NoButton) {
      QTest::keyClick(box, Qt::Key_Escape);
    } else {
      box->button(which)->click();
    }
  });
}

TEST(QtPromptsTest, FrenchButtonsAndAnswers) {
  ASSERT_TRUE(InstallFrenchTranslation());
  QtPrompts prompts;
  QStringList buttons;
  QString title;
  AnswerNextMessageBox(QMessageBox::No, &buttons, &title);
  EXPECT_EQ(prompts.Message("Voulez vous inclure les commentaire ?", Prompts::Buttons::kYesNo,
                            Prompts::Icon::kNone, "Quorvale", ""),
            Prompts::Answer::kNo);
  buttons.sort();
  EXPECT_EQ(buttons, (QStringList{"&Non", "&Oui"}));
  EXPECT_EQ(title, "Quorvale");

  buttons.clear();
  QString detail;
  AnswerNextMessageBox(QMessageBox::Cancel, &buttons, &title, &detail);
  EXPECT_EQ(prompts.Message("Le fichier existe deja, voulez vous l'ecraser ?", Prompts::Buttons::kOkCancel,
                            Prompts::Icon::kNone, "Confirmation", "/tmp/a b.txt"),
            Prompts::Answer::kCancel);
  EXPECT_EQ(buttons.size(), 3) << "OK, Cancel and the one that shows the detail text";
  EXPECT_TRUE(buttons.contains("Annuler") || buttons.contains("&Annuler")) << buttons.join('|').toStdString();
  EXPECT_EQ(title, "Confirmation");
  EXPECT_EQ(detail, "/tmp/a b.txt");

  // Escape answers OK to a box with OK alone and No to a question; a failure shows the
  // critical icon and the system's reason.
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  AnswerNextMessageBox(QMessageBox::NoButton, &buttons, &title, &detail, &icon);
  EXPECT_EQ(prompts.Message("Echec! le fichier n'a pas pu etre enregistre.", Prompts::Buttons::kOk,
                            Prompts::Icon::kCritical, "Quorvale", "/x/y.txt: Permission denied"),
            Prompts::Answer::kOk);
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(detail, "/x/y.txt: Permission denied");
  AnswerNextMessageBox(QMessageBox::NoButton, &buttons, &title, &detail, &icon);
  EXPECT_EQ(prompts.Message("Voulez vous inclure les commentaire ?", Prompts::Buttons::kYesNo, Prompts::Icon::kNone,
                            "Quorvale", ""),
            Prompts::Answer::kNo);
  EXPECT_EQ(icon, QMessageBox::NoIcon);
}

}  // namespace
}  // namespace quorvale

namespace quorvale {
namespace {

TEST(AppSetupTest, NameVersionAndIcon) {
  SetUpApplication();
  EXPECT_EQ(QApplication::applicationName(), "Quorvale");
  EXPECT_EQ(QApplication::applicationVersion(), QUORVALE_VERSION);
  EXPECT_FALSE(QApplication::windowIcon().isNull());
  EXPECT_EQ(QApplication::windowIcon().pixmap(64, 64).size(), QSize(64, 64));
}

}  // namespace
}  // namespace quorvale
