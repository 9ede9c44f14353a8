#include "forms/about_form.h"

#include <cstdlib>
#include <iterator>
#include <sstream>

#include "forms/prompts.h"
#include "forms/texts.h"
#include "platform/platform.h"

namespace quorvale {

namespace {

constexpr const char* kDescription = "Utilitaire de gestion du fichier Hosts";

}  // namespace

void AboutForm::Start(AboutView* view) { view_ = view; }

std::string AboutForm::Caption() { return std::string("About ") + texts::kTitle; }

std::string AboutForm::TitleText() { return texts::kTitle; }

// "Version major.minor.revision", each number in decimal without leading zeros.
std::string AboutForm::VersionText() {
  std::istringstream parts(QUORVALE_VERSION);
  std::string text = "Version ";
  for (int i = 0; i < 3; ++i) {
    std::string part;  // stays "" when the version has fewer numbers
    std::getline(parts, part, '.');
    if (i > 0) text += '.';
    text += std::to_string(std::strtol(part.c_str(), nullptr, 10));
  }
  return text;
}

std::string AboutForm::DescriptionText() { return std::string("Description:\r\n\r\n") + kDescription; }

void AboutForm::Dismiss() { view_->Close(); }

void AboutForm::OpenLink(int index) {
  if (index < 0 || index >= static_cast<int>(std::size(kLinks))) return;
  // The browser reports nothing back; the links report nothing either.
  (void)platform_.OpenUrl(kLinks[index].address);
}

void AboutForm::ShowSystemInfo() {
  // The registered path is started as it stands, without testing that it exists.
  const std::string tool = platform_.SystemInfoToolPath();
  if (tool.empty() || !platform_.StartProgram({tool}, /*hidden=*/false).ok()) ShowUnavailable();
}

void AboutForm::ShowUnavailable() {
  (void)prompts_.Message("System Information Is Unavailable At This Time", Prompts::Buttons::kOk,
                         Prompts::Icon::kNone, texts::kTitle, {});
}

}  // namespace quorvale
