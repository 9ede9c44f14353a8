#include "support/scripted_prompts.h"

#include <gtest/gtest.h>

namespace quorvale::testing {

Prompts::Answer ScriptedPrompts::Message(const std::string& text, Buttons buttons, Icon icon,
                                         const std::string& title, const std::string& detail) {
  messages.push_back({text, buttons, icon, title, detail});
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected message: " << text;
    return buttons == Buttons::kOk ? Answer::kOk : DismissedAnswer(buttons);
  }
  Answer answer = answers.front();
  answers.pop_front();
  return answer;
}

std::string ScriptedPrompts::Choose(bool save, const std::string& title, const std::string& folder,
                                    const std::vector<FileFilter>& filters, int* filter_index) {
  dialogs.push_back({save, title, folder, filters, *filter_index});
  if (files.empty()) {
    ADD_FAILURE() << "unexpected file dialog";
    return {};
  }
  FileChoice choice = files.front();
  files.pop_front();
  if (choice.filter_index >= 0) *filter_index = choice.filter_index;
  return choice.path;
}

std::string ScriptedPrompts::OpenFileName(const std::string& title, const std::string& folder,
                                          const std::vector<FileFilter>& filters, int* filter_index) {
  return Choose(false, title, folder, filters, filter_index);
}

std::string ScriptedPrompts::SaveFileName(const std::string& title, const std::string& folder,
                                          const std::vector<FileFilter>& filters, int* filter_index) {
  return Choose(true, title, folder, filters, filter_index);
}

std::vector<std::string> ScriptedPrompts::Texts() const {
  std::vector<std::string> texts;
  for (const Shown& shown : messages) texts.push_back(shown.text);
  return texts;
}

}  // namespace quorvale::testing
