#include "win32/about_window.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "core/utf16.h"

namespace quorvale {

namespace {

constexpr wchar_t kClassName[] = L"Quorvale.frmAbout";
constexpr DWORD kLabelStyle = SS_LEFTNOWORDWRAP | SS_NOPREFIX;
// Sizes in pixels at 96 dpi: the icon, the links under "Avec la participation de:" in from
// the margin, the window's least width.
constexpr int kIconPixels = 32;
constexpr int kLinkIndent = 12;
constexpr int kLeastWidth = 380;
// A separator's height, in pixels.
constexpr int kSeparatorHeight = 2;
// The description's room, in lines.
constexpr int kDescriptionLines = 3;
// The credits' lines are half the controls' spacing apart.
constexpr int kCreditsSpacingDivisor = 2;

}  // namespace

AboutWindow::AboutWindow(AboutForm& form, HWND owner) : ModalWindow(owner), form_(form) {
  using namespace about_ids;
  Create(kClassName, AboutForm::Caption(), WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME, owner);
  AddControl(hwnd_, WC_STATICW, "", SS_ICON | SS_REALSIZECONTROL, kIcon);
  AddControl(hwnd_, WC_STATICW, AboutForm::TitleText(), kLabelStyle, kTitle);
  AddControl(hwnd_, WC_STATICW, AboutForm::VersionText(), kLabelStyle, kVersion);
  AddControl(hwnd_, WC_STATICW, AboutForm::DescriptionText(), SS_LEFT | SS_NOPREFIX, kDescription);
  AddControl(hwnd_, WC_STATICW, "", SS_ETCHEDHORZ, kLine1);
  AddControl(hwnd_, WC_STATICW, AboutForm::kAuthorCaption, kLabelStyle, kAuthorCaption);
  AddControl(hwnd_, WC_STATICW, AboutForm::kCreditsCaption, kLabelStyle, kCreditsCaption);
  for (int i = 0; i < static_cast<int>(std::size(AboutForm::kLinks)); ++i) {
    AddControl(hwnd_, WC_LINK, std::string("<a>") + AboutForm::kLinks[i].caption + "</a>", WS_TABSTOP, kFirstLink + i);
  }
  AddControl(hwnd_, WC_STATICW, "", SS_ETCHEDHORZ, kLine2);
  HWND ok = AddControl(hwnd_, WC_BUTTONW, AboutForm::kOkCaption, BS_DEFPUSHBUTTON | WS_TABSTOP, kOk);
  AddControl(hwnd_, WC_BUTTONW, AboutForm::kSysInfoCaption, BS_PUSHBUTTON | WS_TABSTOP, kSysInfo);
  SetFirstFocus(ok);
  LayOutAndFit(dpi());
  form_.Start(this);
}

SIZE AboutWindow::Layout(int dpi) {
  using namespace about_ids;
  Font font = MakeFont(MessageFontAt(dpi));
  LOGFONTW title = MessageFontAt(dpi);
  title.lfWeight = AboutForm::kTitleWeight;
  Font title_font = MakeFont(title);
  SetControlsFont(hwnd_, font.get());
  SendMessageW(GetDlgItem(hwnd_, kTitle), WM_SETFONT, reinterpret_cast<WPARAM>(title_font.get()), TRUE);
  font_ = std::move(font);
  title_font_ = std::move(title_font);

  // The control does not destroy the icon it is given: the window keeps it while it shows it.
  const int icon_size = Scale(kIconPixels, dpi);
  Icon icon(static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconId), IMAGE_ICON, icon_size, icon_size, 0)));
  SendMessageW(GetDlgItem(hwnd_, kIcon), STM_SETICON, reinterpret_cast<WPARAM>(icon.get()), 0);
  icon_ = std::move(icon);

  const int margin = Scale(kDialogMargin, dpi);
  const int spacing = Scale(kDialogSpacing, dpi);
  const int credits_spacing = spacing / kCreditsSpacingDivisor;
  const int line = FontMetrics(hwnd_, font_.get()).tmHeight;
  auto width_of = [&](int id) {
    const int length = GetWindowTextLengthW(GetDlgItem(hwnd_, id));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(GetDlgItem(hwnd_, id), text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    return TextWidth(hwnd_, id == kTitle ? title_font_.get() : font_.get(), text);
  };
  // A link is as wide as its text as measured, below which the control would wrap it, or as
  // drawn when that is wider.
  auto link_width = [&](int index) {
    const std::wstring caption = WideFromUtf8(AboutForm::kLinks[index].caption);
    return std::max(TextWidth(hwnd_, font_.get(), caption), DrawnTextWidth(hwnd_, font_.get(), caption));
  };
  // The control underlines its text as measured, which under Wine can reach past the letters:
  // nothing of it shows past the text as drawn.
  auto place_link = [&](int index, int left, int top) {
    HWND link = GetDlgItem(hwnd_, kFirstLink + index);
    Place(link, {left, top, link_width(index), line});
    const int drawn = DrawnTextWidth(hwnd_, font_.get(), WideFromUtf8(AboutForm::kLinks[index].caption));
    SetWindowRgn(link, CreateRectRgn(0, 0, drawn, line), TRUE);
  };

  // The width: the widest line of credits, or of the texts beside the icon.
  const int text_left = margin + icon_size + margin;
  int width = Scale(kLeastWidth, dpi);
  width = std::max(width, text_left + width_of(kTitle) + margin);
  width = std::max(width, margin + width_of(kAuthorCaption) + spacing + link_width(0) + margin);
  for (int i = 1; i < static_cast<int>(std::size(AboutForm::kLinks)); ++i) {
    width = std::max(width, margin + Scale(kLinkIndent, dpi) + link_width(i) + margin);
  }
  const int inner = width - 2 * margin;

  Place(GetDlgItem(hwnd_, kIcon), {margin, margin, icon_size, icon_size});
  int y = margin;
  const int title_height = FontMetrics(hwnd_, title_font_.get()).tmHeight;
  Place(GetDlgItem(hwnd_, kTitle), {text_left, y, width - text_left - margin, title_height});
  y += title_height;
  Place(GetDlgItem(hwnd_, kVersion), {text_left, y, width - text_left - margin, line});
  y += line + spacing;
  Place(GetDlgItem(hwnd_, kDescription), {text_left, y, width - text_left - margin, kDescriptionLines * line});
  y += kDescriptionLines * line + spacing;
  Place(GetDlgItem(hwnd_, kLine1), {margin, y, inner, kSeparatorHeight});
  y += spacing;
  // "Réalisé par:" with the author's link beside it, then the other links under
  // "Avec la participation de:".
  const int author_caption_width = width_of(kAuthorCaption);
  Place(GetDlgItem(hwnd_, kAuthorCaption), {margin, y, author_caption_width, line});
  place_link(0, margin + author_caption_width + spacing, y);
  y += line + credits_spacing;
  Place(GetDlgItem(hwnd_, kCreditsCaption), {margin, y, inner, line});
  y += line + credits_spacing;
  for (int i = 1; i < static_cast<int>(std::size(AboutForm::kLinks)); ++i) {
    place_link(i, margin + Scale(kLinkIndent, dpi), y);
    y += line + credits_spacing;
  }
  y += credits_spacing;
  Place(GetDlgItem(hwnd_, kLine2), {margin, y, inner, kSeparatorHeight});
  y += spacing;
  PlaceButtonRow(hwnd_, {kOk, kSysInfo}, width - margin, y, dpi);
  y += Scale(kButtonHeight, dpi) + margin;
  return {width, y};
}

void AboutWindow::Close() { closed_ = true; }

LRESULT AboutWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      // Enter (IDOK) and Escape (IDCANCEL) are "OK", wherever the focus is.
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        form_.Dismiss();
      } else if (LOWORD(wparam) == about_ids::kSysInfo && HIWORD(wparam) == BN_CLICKED) {
        form_.ShowSystemInfo();
      }
      return 0;
    case WM_NOTIFY: {
      const NMHDR& header = *reinterpret_cast<const NMHDR*>(lparam);
      const int index = static_cast<int>(header.idFrom) - about_ids::kFirstLink;
      if ((header.code == NM_CLICK || header.code == NM_RETURN) && index >= 0 &&
          index < static_cast<int>(std::size(AboutForm::kLinks))) {
        form_.OpenLink(index);
      }
      return 0;
    }
    default:
      return ModalWindow::HandleMessage(message, wparam, lparam);
  }
}

}  // namespace quorvale
