#pragma once

#include <string>
#include <vector>

namespace quorvale {

// One choice of a file dialog's type list: "Fichiers Texte (.txt)" showing "*.txt" files.
struct FileFilter {
  std::string description;
  std::string pattern;
};

// Every message box and file dialog the windows show goes through Prompts, so that each
// window program shows them with its own toolkit and tests can answer them and record what
// was asked. Texts are UTF-8.
class Prompts {
 public:
  // kYesNoDefaultNo is a question whose default button (Enter, Space on it) is "Non".
  enum class Buttons { kOk, kOkCancel, kYesNo, kYesNoDefaultNo };
  enum class Icon { kNone, kCritical };
  enum class Answer { kOk, kCancel, kYes, kNo };

  virtual ~Prompts() = default;

  // A modal message box. `detail`, when not empty, is the box's detail text (a path, the
  // system's reason).
  virtual Answer Message(const std::string& text, Buttons buttons, Icon icon, const std::string& title,
                         const std::string& detail) = 0;
  // The answer of a box with `buttons` that was left by Escape or its close box, or that could
  // not be shown: the negative one.
  static constexpr Answer DismissedAnswer(Buttons buttons) {
    return buttons == Buttons::kYesNo || buttons == Buttons::kYesNoDefaultNo ? Answer::kNo : Answer::kCancel;
  }

  // File dialogs. `filters` are offered in order; `*filter_index` (0-based) is preselected and
  // receives the user's choice. Returns "" on cancel. No overwrite prompt, no default
  // extension; typed names of missing files are accepted by both.
  virtual std::string OpenFileName(const std::string& title, const std::string& folder,
                                   const std::vector<FileFilter>& filters, int* filter_index) = 0;
  virtual std::string SaveFileName(const std::string& title, const std::string& folder,
                                   const std::vector<FileFilter>& filters, int* filter_index) = 0;
};

}  // namespace quorvale
