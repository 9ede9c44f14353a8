#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

class QLabel;
class QPushButton;

namespace quorvale {

class Platform;
class Prompts;

// The about window: the program's identity, the credits with four links, "OK" and the
// system-information button. It is shown modally and closed by "OK" (Enter or Escape).
class frmAbout : public QDialog {
  Q_OBJECT

 public:
  // The addresses the links open. Label1, Label2 and lblDisclaimer show their own address;
  // Label5 shows the author's name.
  static constexpr const char* kLabel5Address = "https://fr.wikipedia.org/wiki/Hosts";
  static constexpr const char* kLabel1Address = "https://winhelp2002.mvps.org/hosts.htm";
  static constexpr const char* kLabel2Address = "https://someonewhocares.org/hosts/";
  static constexpr const char* kDisclaimerAddress = "https://man7.org/linux/man-pages/man5/hosts.5.html";

  frmAbout(Platform& platform, Prompts& prompts, QWidget* parent = nullptr);
  ~frmAbout() override;

  void cmdOK_Click();
  void cmdSysInfo_Click();

  // Starts the system-information tool found through the registry, or tells the user that
  // it is unavailable.
  void StartSysInfo();
  // Reads one registry value as text into `KeyVal`; false (and "") when the key or the
  // value cannot be read.
  bool GetKeyValue(unsigned long KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                   std::string* KeyVal);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Link {
    QLabel* label;
    std::string address;
  };

  void BuildWindow();
  QLabel* AddLink(const char* name, const QString& text, const char* address);
  void ShowUnavailable();

  Platform& platform_;
  Prompts& prompts_;
  std::vector<Link> links_;

  QLabel* lblTitle_ = nullptr;
  QLabel* lblVersion_ = nullptr;
  QLabel* lblDescription_ = nullptr;
  QPushButton* cmdOK_ = nullptr;
  QPushButton* cmdSysInfo_ = nullptr;
};

}  // namespace quorvale
