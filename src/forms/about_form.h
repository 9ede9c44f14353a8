#pragma once

#include <string>

namespace quorvale {

class Platform;
class Prompts;

// What AboutForm asks of the about window of a window program.
class AboutView {
 public:
  virtual ~AboutView() = default;
  // Closes the modal window.
  virtual void Close() = 0;
};

// The about window: the program's identity, the credits with four links, "OK" (also Enter
// and Escape) and the system-information button.
class AboutForm {
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
  static constexpr const char* kAuthorCaption = "Réalisé par:";
  static constexpr const char* kCreditsCaption = "Avec la participation de:";
  static constexpr const char* kOkCaption = "OK";
  static constexpr const char* kSysInfoCaption = "&System Info...";
  // lblTitle is written in bold, at the size of the window's other texts. The weight is on the
  // scale of 100 (thin) to 900 (black) that Qt and Windows share.
  static constexpr int kTitleWeight = 700;

  AboutForm(Platform& platform, Prompts& prompts) : platform_(platform), prompts_(prompts) {}

  void Start(AboutView* view);

  // The texts that name the program and its version.
  static std::string Caption();
  static std::string TitleText();
  static std::string VersionText();
  static std::string DescriptionText();

  void Dismiss();
  // Starts the system-information tool that the platform finds, or tells the user that it
  // is unavailable.
  void ShowSystemInfo();
  // A click on the link at `index` of kLinks opens its address in the browser.
  void OpenLink(int index);

 private:
  void ShowUnavailable();

  Platform& platform_;
  Prompts& prompts_;
  AboutView* view_ = nullptr;
};

}  // namespace quorvale
