#pragma once

#include <deque>
#include <string>
#include <vector>

#include "forms/prompts.h"

namespace quorvale::testing {

// Answers the windows' questions from a script and records everything asked. A question
// without a scripted answer fails the test and gets the negative answer.
class ScriptedPrompts : public Prompts {
 public:
  struct Shown {
    std::string text;
    Buttons buttons;
    Icon icon;
    std::string title;
    std::string detail;
  };
  struct FileDialog {
    bool save;
    std::string title;
    std::string folder;
    std::vector<FileFilter> filters;
    int filter_index;  // preselected
  };
  // What the user does in a file dialog: the path ("" cancels) and the filter picked.
  struct FileChoice {
    std::string path;
    int filter_index = -1;  // -1 keeps the preselected one
  };

  std::deque<Answer> answers;
  std::deque<FileChoice> files;

  std::vector<Shown> messages;
  std::vector<FileDialog> dialogs;

  Answer Message(const std::string& text, Buttons buttons, Icon icon, const std::string& title,
                 const std::string& detail) override;
  std::string OpenFileName(const std::string& title, const std::string& folder, const std::vector<FileFilter>& filters,
                           int* filter_index) override;
  std::string SaveFileName(const std::string& title, const std::string& folder, const std::vector<FileFilter>& filters,
                           int* filter_index) override;

  // The message texts in order.
  std::vector<std::string> Texts() const;

 private:
  std::string Choose(bool save, const std::string& title, const std::string& folder,
                     const std::vector<FileFilter>& filters, int* filter_index);
};

}  // namespace quorvale::testing
