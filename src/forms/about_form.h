#pragma once

#include <string>

namespace quorvale {

class Platform;
class Prompts;

// What frmAbout asks of the about window of a window program.
class AboutView {
 public:
  virtual ~AboutView() = default;
  // Closes the modal window.
  virtual void Close() = 0;
};

// The about window: the program's identity, the credits with four links, "OK" (also Enter
// and Escape) and the system-information button.
class frmAbout {
 public:
  struct Link {
    const char* name;
    const char* caption;
    const char* address;
  };
  // The links in the order they are shown. Label5 shows the author's name, the others their
  // own address.
  static constexpr Link kLinks[] = {
      {"Label5", "Bramidor", "https://fr.wikipedia.org/wiki/Hosts"},
      {"lblDisclaimer", "https://man7.org/linux/man-pages/man5/hosts.5.html",
       "https://man7.org/linux/man-pages/man5/hosts.5.html"},
      {"Label1", "https://winhelp2002.mvps.org/hosts.htm", "https://winhelp2002.mvps.org/hosts.htm"},
      {"Label2", "https://someonewhocares.org/hosts/", "https://someonewhocares.org/hosts/"},
  };
  static constexpr const char* kLabel4Caption = "Réalisé par:";
  static constexpr const char* kLabel3Caption = "Avec la participation de:";
  static constexpr const char* kOkCaption = "OK";
  static constexpr const char* kSysInfoCaption = "&System Info...";
  // lblTitle is written in bold, at the size of the window's other texts. The weight is on the
  // scale of 100 (thin) to 900 (black) that Qt and Windows share.
  static constexpr int kTitleWeight = 700;

  frmAbout(Platform& platform, Prompts& prompts) : platform_(platform), prompts_(prompts) {}

  void Form_Load(AboutView* view);

  // The texts that name the program and its version.
  static std::string Caption();
  static std::string TitleText();
  static std::string VersionText();
  static std::string DescriptionText();

  void cmdOK_Click();
  // Starts the system-information tool that the platform finds, or tells the user that it
  // is unavailable.
  void cmdSysInfo_Click();
  // A click on the link at `index` of kLinks opens its address in the browser.
  void Link_Click(int index);

 private:
  void ShowUnavailable();

  Platform& platform_;
  Prompts& prompts_;
  AboutView* view_ = nullptr;
};

}  // namespace quorvale
