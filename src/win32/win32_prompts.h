#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "forms/prompts.h"

namespace quorvale {

// Message boxes and file dialogs of Windows, over the active window of the program (the main
// window when none is active).
class Win32Prompts : public Prompts {
 public:
  void SetOwner(HWND owner) { owner_ = owner; }

  // MessageBoxW: the text, then the detail after a blank line; the error icon for kCritical.
  Answer Message(const std::string& text, Buttons buttons, Icon icon, const std::string& title,
                 const std::string& detail) override;
  std::string OpenFileName(const std::string& title, const std::string& folder, const std::vector<FileFilter>& filters,
                           int* filter_index) override;
  std::string SaveFileName(const std::string& title, const std::string& folder, const std::vector<FileFilter>& filters,
                           int* filter_index) override;

  // The filters as a file dialog takes them: "description\0pattern\0" for each, then a
  // second NUL; the pattern "*" is written "*.*", which Windows reads as every file.
  static std::wstring FilterList(const std::vector<FileFilter>& filters);

 private:
  HWND Owner() const;
  std::string RunFileDialog(bool save, const std::string& title, const std::string& folder,
                            const std::vector<FileFilter>& filters, int* filter_index);

  HWND owner_ = nullptr;
};

}  // namespace quorvale
