#include "win32/win32_prompts.h"

#include <commdlg.h>

#include "core/utf16.h"

namespace quorvale {

namespace {

// Room for the longest path Windows takes.
constexpr size_t kPathCapacity = 32768;

}  // namespace

HWND Win32Prompts::Owner() const {
  HWND active = GetActiveWindow();
  return active != nullptr ? active : owner_;
}

Prompts::Answer Win32Prompts::Message(const std::string& text, Buttons buttons, Icon icon, const std::string& title,
                                      const std::string& detail) {
  std::wstring body = WideFromUtf8(text);
  if (!detail.empty()) body += L"\n\n" + WideFromUtf8(detail);
  UINT type = icon == Icon::kCritical ? MB_ICONERROR : 0;
  switch (buttons) {
    case Buttons::kOk:
      type |= MB_OK;
      break;
    case Buttons::kOkCancel:
      type |= MB_OKCANCEL;
      break;
    case Buttons::kYesNo:
      type |= MB_YESNO;
      break;
    case Buttons::kYesNoDefaultNo:
      type |= MB_YESNO | MB_DEFBUTTON2;
      break;
  }
  switch (MessageBoxW(Owner(), body.c_str(), WideFromUtf8(title).c_str(), type)) {
    case IDOK:
      return Answer::kOk;
    case IDYES:
      return Answer::kYes;
    case IDNO:
      return Answer::kNo;
    default:
      // Escape, the close box, or a box that could not be shown.
      return DismissedAnswer(buttons);
  }
}

std::wstring Win32Prompts::FilterList(const std::vector<FileFilter>& filters) {
  std::wstring list;
  for (const FileFilter& filter : filters) {
    list += WideFromUtf8(filter.description);
    list += L'\0';
    list += filter.pattern == "*" ? std::wstring(L"*.*") : WideFromUtf8(filter.pattern);
    list += L'\0';
  }
  list += L'\0';
  return list;
}

std::string Win32Prompts::RunFileDialog(bool save, const std::string& title, const std::string& folder,
                                        const std::vector<FileFilter>& filters, int* filter_index) {
  const std::wstring filter_list = FilterList(filters);
  const std::wstring wide_title = WideFromUtf8(title);
  const std::wstring wide_folder = WideFromUtf8(folder);
  std::wstring file(kPathCapacity, L'\0');
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = Owner();
  dialog.lpstrFilter = filter_list.c_str();
  // The dialog counts the filters from 1.
  const bool known_index = *filter_index >= 0 && *filter_index < static_cast<int>(filters.size());
  dialog.nFilterIndex = static_cast<DWORD>(known_index ? *filter_index + 1 : 1);
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrInitialDir = wide_folder.empty() ? nullptr : wide_folder.c_str();
  dialog.lpstrTitle = wide_title.c_str();
  // Any name may be typed, also of a file that does not exist yet; nothing is added to it and
  // nobody is asked before a file is replaced.
  dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  const BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
  if (!chosen) return {};
  if (dialog.nFilterIndex >= 1 && dialog.nFilterIndex <= filters.size()) {
    *filter_index = static_cast<int>(dialog.nFilterIndex) - 1;
  }
  return Utf8FromWide(file.c_str());
}

std::string Win32Prompts::OpenFileName(const std::string& title, const std::string& folder,
                                       const std::vector<FileFilter>& filters, int* filter_index) {
  return RunFileDialog(false, title, folder, filters, filter_index);
}

std::string Win32Prompts::SaveFileName(const std::string& title, const std::string& folder,
                                       const std::vector<FileFilter>& filters, int* filter_index) {
  return RunFileDialog(true, title, folder, filters, filter_index);
}

}  // namespace quorvale
