// The Win32 views: what only Windows can get wrong (wiring, real clicks and keys through the
// dialog manager, the virtual lists and their headers, message boxes and file dialogs). The
// windows are real: a Windows desktop, or Wine in an X session.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/session.h"
#include "support/fake_platform.h"
#include "support/scripted_prompts.h"
#include "support/test_files.h"
#include "win32/about_window.h"
#include "win32/form1_window.h"
#include "win32/form2_window.h"
#include "win32/wide.h"
#include "win32/win32_prompts.h"

namespace quorvale::testing {
namespace {

std::string TextOf(HWND hwnd) {
  wchar_t text[512] = {};
  GetWindowTextW(hwnd, text, 512);
  return Narrow(text);
}

// "left,top,width,height" in the parent's client area.
std::string PlaceOf(HWND control) {
  RECT rect = {};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return std::to_string(rect.left) + "," + std::to_string(rect.top) + "," + std::to_string(rect.right - rect.left) +
         "," + std::to_string(rect.bottom - rect.top);
}

HWND Child(HWND parent, const wchar_t* window_class, const char* caption) {
  return FindWindowExW(parent, nullptr, window_class, Widen(caption).c_str());
}

// A key as the message loop hands it over: through the dialog manager of its window.
void Key(HWND focus, WPARAM key) {
  for (UINT message : {static_cast<UINT>(WM_KEYDOWN), static_cast<UINT>(WM_CHAR), static_cast<UINT>(WM_KEYUP)}) {
    MSG msg = {focus, message, key, 0, 0, {}};
    DispatchWindowMessage(&msg);
  }
}

// A left click at the centre of `rect` of `window`.
void Click(HWND window, const RECT& rect) {
  const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(window, WM_LBUTTONUP, 0, at);
}

// Runs `action` on the next visible window of this thread other than `except` (a message box,
// a file dialog, the options or the about window) from a timer of its modal loop.
std::function<void(HWND)> next_window_action;
HWND next_window_except = nullptr;
void OnNextWindow(HWND except, std::function<void(HWND)> action) {
  next_window_except = except;
  next_window_action = std::move(action);
  SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR timer, DWORD) {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM out) {
          if (!IsWindowVisible(hwnd) || hwnd == next_window_except) return TRUE;
          *reinterpret_cast<HWND*>(out) = hwnd;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    if (found == nullptr) return;
    KillTimer(nullptr, timer);
    next_window_action(found);
  });
}

class Win32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (probe == nullptr) GTEST_SKIP() << "no window system here (under Wine, run the tests in an X session)";
    DestroyWindow(probe);
  }

  TempDir dir_;
  FakePlatform platform_;
  ScriptedPrompts prompts_;
};

class Form1WindowTest : public Win32Test {
 protected:
  void SetUp() override {
    Win32Test::SetUp();
    if (IsSkipped()) return;
    platform_.executable_path = dir_.File("quorvale.exe");
    platform_.hosts_path = dir_.File("HOSTS");
    window_ = std::make_unique<Form1Window>(form_);
    ShowWindow(window_->hwnd(), SW_SHOW);
  }

  HWND Main() const { return window_->hwnd(); }
  HWND List(int number) const { return GetDlgItem(Main(), number == 1 ? Form1Window::kListView1Id : Form1Window::kListView2Id); }
  std::string Cell(int list, int row, int column) const {
    wchar_t text[256] = {};
    ListView_GetItemText(List(list), row, column, text, 256);
    return Narrow(text);
  }
  // "Hosts[Charger le fichier hosts|-Remplacer le fichier hosts]": the menus and their items,
  // "-" before a disabled one.
  std::string Menus() const {
    std::string menus;
    HMENU bar = GetMenu(Main());
    for (int i = 0; i < GetMenuItemCount(bar); ++i) {
      wchar_t caption[128] = {};
      GetMenuStringW(bar, i, caption, 128, MF_BYPOSITION);
      menus += (GetMenuState(bar, i, MF_BYPOSITION) & MF_GRAYED ? "-" : "") + Narrow(caption);
      if (HMENU menu = GetSubMenu(bar, i)) {
        for (int j = 0; j < GetMenuItemCount(menu); ++j) {
          GetMenuStringW(menu, j, caption, 128, MF_BYPOSITION);
          menus += (j == 0 ? "[" : "|") + std::string(GetMenuState(menu, j, MF_BYPOSITION) & MF_GRAYED ? "-" : "") +
                   Narrow(caption);
        }
        menus += "]";
      }
      menus += " ";
    }
    return menus;
  }
  // Chooses the menu item with this caption, as the menu does.
  void Choose(const char* caption) {
    HMENU bar = GetMenu(Main());
    for (HMENU menu : {bar, GetSubMenu(bar, 0), GetSubMenu(bar, 1)}) {
      for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = {};
        GetMenuStringW(menu, i, text, 128, MF_BYPOSITION);
        if (Narrow(text) == caption) SendMessageW(Main(), WM_COMMAND, MAKEWPARAM(GetMenuItemID(menu, i), 0), 0);
      }
    }
  }
  // The header's arrows: "^" up, "v" down, "." none, one per column.
  std::string Arrows(int list) const {
    HWND header = ListView_GetHeader(List(list));
    std::string arrows;
    for (int i = 0; i < Header_GetItemCount(header); ++i) {
      HDITEMW item = {};
      item.mask = HDI_FORMAT;
      Header_GetItem(header, i, &item);
      arrows += item.fmt & HDF_SORTUP ? '^' : item.fmt & HDF_SORTDOWN ? 'v' : '.';
    }
    return arrows;
  }

  Form1 form_{platform_, prompts_};
  std::unique_ptr<Form1Window> window_;
};

TEST_F(Form1WindowTest, TheDesignedWindowAndItsTabOrder) {
  ASSERT_EQ(window_->dpi(), 96) << "the places below are at 96 dpi";
  RECT client = {};
  GetClientRect(Main(), &client);
  EXPECT_EQ(client.right, 543);
  EXPECT_EQ(client.bottom, 430);
  EXPECT_EQ(TextOf(Main()), "Quorvale");
  EXPECT_EQ(GetWindowLongPtrW(Main(), GWL_STYLE) & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  EXPECT_EQ(Menus(),
            "Hosts[Charger le fichier hosts|-Remplacer le fichier hosts] Fichier[Charger un fichier (format Hosts)|"
            "Enregister sous...(format hosts)|Charger des noms de domaines|Exporter noms de domaines] -Reset A propos ");
  for (int list : {1, 2}) {
    HWND header = ListView_GetHeader(List(list));
    std::string columns;
    for (int i = 0; i < 3; ++i) {
      wchar_t caption[64] = {};
      HDITEMW item = {};
      item.mask = HDI_TEXT | HDI_WIDTH;
      item.pszText = caption;
      item.cchTextMax = 64;
      Header_GetItem(header, i, &item);
      columns += Narrow(caption) + "/" + std::to_string(item.cxy) + " ";
    }
    EXPECT_EQ(columns, "Domaine/200 Description/203 Redirection/123 ");
    EXPECT_EQ(Arrows(list), "^..");
    EXPECT_EQ(ListView_GetItemCount(List(list)), 0);
  }
  EXPECT_EQ(PlaceOf(List(1)), "8,8,529,241");
  EXPECT_EQ(PlaceOf(List(2)), "8,264,529,137");
  HWND label = GetDlgItem(Main(), Form1Window::kLabel1Id);
  EXPECT_EQ(TextOf(label), "Aucune adresse chargee");
  EXPECT_EQ(PlaceOf(label), "240,408,295,21");
  // The buttons keep their places below the visible client area, and their tab order.
  EXPECT_EQ(PlaceOf(Child(Main(), WC_BUTTONW, "Charger un fichier ")), "520,432,121,25");
  EXPECT_EQ(PlaceOf(Child(Main(), WC_BUTTONW, "Command9")), "520,776,81,33");
  EXPECT_FALSE(IsWindowEnabled(Child(Main(), WC_BUTTONW, "Trier")));
  std::vector<std::string> order;
  HWND control = Child(Main(), WC_BUTTONW, "Charger un fichier ");
  for (HWND child = GetWindow(Main(), GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    EnableWindow(child, TRUE);
  }
  for (int i = 0; i < 11; ++i, control = GetNextDlgTabItem(Main(), control, FALSE)) {
    order.push_back(control == List(1) ? "ListView1" : control == List(2) ? "ListView2" : TextOf(control));
  }
  EXPECT_EQ(order, (std::vector<std::string>{"Charger un fichier ", "Trier", "Enregistrer sous...",
                                             "Remplacer le fichier hosts", "Verouiller le fichier hosts",
                                             "Enregistrer uniquement les noms de domaines",
                                             "Voir les doublons et les erreurs",
                                             "Charger un fichier(nom de domaines seulement)", "ListView1", "ListView2",
                                             "Command9"}));
}

// Each menu item and button reaches its own command: what the command shows first tells.
TEST_F(Form1WindowTest, MenuItemsAndButtonsReachTheirCommands) {
  struct Wiring {
    const char* caption;
    bool button;
    const char* first_seen;  // "open" or "save" dialog, a message's text, or what happened
  };
  const Wiring wirings[] = {
      {"Charger un fichier (format Hosts)", false, "open"},
      {"Charger des noms de domaines", false, "open"},
      {"Exporter noms de domaines", false, "save"},
      {"Enregister sous...(format hosts)", false, "vous devez d'abord charger un ficher d'adresse!"},
      {"Charger le fichier hosts", false, "report"},
      {"Trier", true, "vous devez d'abord charger un ficher d'adresses!"},
      {"Enregistrer sous...", true, "vous devez d'abord charger un ficher d'adresse!"},
      {"Charger un fichier(nom de domaines seulement)", true, "open"},
      {"Enregistrer uniquement les noms de domaines", true, "vous devez d'abord charger un ficher d'adresse!"},
      {"Verouiller le fichier hosts", true, "started"},
      {"Voir les doublons et les erreurs", true, "report"},
      {"Charger un fichier ", true, "nothing"},
      {"Remplacer le fichier hosts", true, "nothing"},
      {"Command9", true, "nothing"},
  };
  for (const Wiring& wiring : wirings) {
    SCOPED_TRACE(wiring.caption);
    prompts_ = ScriptedPrompts();
    prompts_.files.push_back({});
    prompts_.answers.push_back(Prompts::Answer::kOk);
    platform_.started.clear();
    platform_.shown_files.clear();
    if (wiring.button) {
      HWND button = Child(Main(), WC_BUTTONW, wiring.caption);
      EnableWindow(button, TRUE);
      SendMessageW(button, BM_CLICK, 0, 0);
    } else {
      Choose(wiring.caption);
    }
    std::string seen = !prompts_.dialogs.empty()    ? (prompts_.dialogs[0].save ? "save" : "open")
                       : !prompts_.messages.empty() ? prompts_.messages[0].text
                       : !platform_.started.empty() ? "started"
                       : !platform_.shown_files.empty() ? "report"
                                                        : "nothing";
    EXPECT_EQ(seen, wiring.first_seen);
  }
  // The options and the about windows open modal over the main window, which takes no input
  // meanwhile, and close with their close box.
  for (const char* caption : {"Remplacer le fichier hosts", "A propos"}) {
    std::string opened;
    OnNextWindow(Main(), [&](HWND window) {
      opened = TextOf(window) + (GetWindow(window, GW_OWNER) == Main() && !IsWindowEnabled(Main()) ? " over Form1" : "");
      PostMessageW(window, WM_CLOSE, 0, 0);
    });
    EnableMenuItem(GetMenu(Main()), Form1Window::IdOf(Form1Control::kReplaceHosts), MF_BYCOMMAND | MF_ENABLED);
    Choose(caption);
    EXPECT_EQ(opened, caption == std::string("A propos") ? "About Quorvale over Form1" : "Options over Form1");
    EXPECT_TRUE(IsWindowEnabled(Main()));
  }
}

// The virtual lists read the session's rows; a header click sorts once and moves the arrow;
// the close box empties the lists and ends the program with 0.
TEST_F(Form1WindowTest, ListsShowTheRowsHeaderClicksSortAndTheCloseBoxEnds) {
  WriteBytes(dir_.File("HOSTS"), "0.0.0.0 b.example #1\r\n0.0.0.0 a.example #2\r\n10.0.0.1 c.lan\r\n");
  Choose("Charger le fichier hosts");
  ASSERT_EQ(ListView_GetItemCount(List(1)), 2);
  EXPECT_EQ(Cell(1, 0, 0) + " " + Cell(1, 0, 1) + " " + Cell(1, 0, 2), "a.example #2 0.0.0.0");
  EXPECT_EQ(Cell(2, 0, 0) + " " + Cell(2, 0, 2), "c.lan 10.0.0.1");
  EXPECT_EQ(TextOf(GetDlgItem(Main(), Form1Window::kLabel1Id)), "3 Adresse(s) chargée(s)");
  EXPECT_EQ(Menus().substr(0, 60), "Hosts[Charger le fichier hosts|Remplacer le fichier hosts] F");

  HWND header = ListView_GetHeader(List(1));
  RECT column = {};
  Header_GetItemRect(header, 0, &column);
  Click(header, column);
  EXPECT_EQ(Cell(1, 0, 0), "b.example");
  EXPECT_EQ(Arrows(1), "v..");
  Header_GetItemRect(header, 1, &column);
  Click(header, column);
  EXPECT_EQ(Cell(1, 0, 1), "#2");
  EXPECT_EQ(Arrows(1), ".v.");
  EXPECT_EQ(Arrows(2), "^..");

  SendMessageW(Main(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(Main()));
  EXPECT_EQ(ListView_GetItemCount(List(1)) + ListView_GetItemCount(List(2)), 0);
  MSG quit = {};
  ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 0u);
}

class Form2WindowTest : public Win32Test {
 protected:
  void SetUp() override {
    Win32Test::SetUp();
    if (IsSkipped()) return;
    window_ = std::make_unique<Form2Window>(form_, nullptr);
    ShowWindow(window_->hwnd(), SW_SHOW);
  }
  HWND Control(int id) const { return GetDlgItem(window_->hwnd(), id); }

  Session session_;
  Form2 form_{session_};
  std::unique_ptr<Form2Window> window_;
};

TEST_F(Form2WindowTest, TheDesignedWindowWithNoControlOverAnother) {
  EXPECT_EQ(TextOf(window_->hwnd()), "Options");
  EXPECT_EQ(GetFocus(), Control(Form2Window::kCheck1Id));
  EXPECT_EQ(TextOf(Control(Form2Window::kLabel1Id)), "Choisissez l'adresse de redirection:");
  EXPECT_EQ(TextOf(Control(Form2Window::kCheck1Id)), "Ajouter une ligne avec www. pour chaque entree");
  EXPECT_EQ(PlaceOf(Control(Form2Window::kCommand2Id)), "192,88,73,25");
  RECT client = {};
  GetClientRect(window_->hwnd(), &client);
  std::vector<HWND> controls;
  for (HWND child = GetWindow(window_->hwnd(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) controls.push_back(child);
  ASSERT_EQ(controls.size(), 6u);
  for (HWND control : controls) {
    RECT place = {};
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, window_->hwnd(), reinterpret_cast<POINT*>(&place), 2);
    EXPECT_LE(place.right, client.right) << TextOf(control);
    for (HWND other : controls) {
      RECT other_place = {};
      RECT overlap = {};
      GetWindowRect(other, &other_place);
      MapWindowPoints(nullptr, window_->hwnd(), reinterpret_cast<POINT*>(&other_place), 2);
      InflateRect(&other_place, 2, 0);
      EXPECT_TRUE(other == control || !IntersectRect(&overlap, &place, &other_place))
          << TextOf(control) << " touches " << TextOf(other);
    }
  }
  // Tab goes Check1, Check2, Check3, OK, Annuler and back to Check1.
  std::string order;
  for (int i = 0; i < 6; ++i) {
    order += TextOf(GetFocus()) + "|";
    Key(GetFocus(), VK_TAB);
  }
  EXPECT_EQ(order, "Ajouter une ligne avec www. pour chaque entree|127.0.0.1|0.0.0.0|OK|Annuler|"
                   "Ajouter une ligne avec www. pour chaque entree|");
}

// Neither button is the default or the cancel button: Enter and Escape leave the window open
// and the session as it was, wherever the focus is. Clicks change the boxes before Form2
// hears of them.
TEST_F(Form2WindowTest, EnterAndEscapeDoNothingAndClicksReachForm2) {
  session_.OptionsAccepted = true;
  session_.RedirectAddress = "0.0.0.0";
  for (int id : {Form2Window::kCheck1Id, Form2Window::kCommand1Id, Form2Window::kCommand2Id}) {
    SetFocus(Control(id));
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) Key(Control(id), key);
  }
  EXPECT_FALSE(window_->closed());
  EXPECT_TRUE(session_.OptionsAccepted);
  EXPECT_EQ(session_.RedirectAddress, "0.0.0.0");

  SendMessageW(Control(Form2Window::kCheck3Id), BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(Control(Form2Window::kCheck2Id), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageW(Control(Form2Window::kCheck3Id), BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageW(Control(Form2Window::kCheck1Id), BM_CLICK, 0, 0);
  SendMessageW(Control(Form2Window::kCommand1Id), BM_CLICK, 0, 0);
  EXPECT_TRUE(window_->closed());
  EXPECT_EQ(session_.RedirectAddress, "0.0.0.0");
  EXPECT_FALSE(session_.AddWwwLines);
}

TEST_F(Win32Test, AboutWindowTextsLinksAndKeys) {
  frmAbout form(platform_, prompts_);
  AboutWindow window(form, nullptr);
  HWND about = window.hwnd();
  EXPECT_EQ(TextOf(about), "About Quorvale");
  for (const char* text : {"Quorvale", "Version 1.0.183", "Description:\r\n\r\nUtilitaire de gestion du fichier Hosts",
                           "Réalisé par:", "Avec la participation de:"}) {
    EXPECT_NE(Child(about, WC_STATICW, text), nullptr) << text;
  }
  EXPECT_EQ(GetWindowLongPtrW(Child(about, WC_BUTTONW, "OK"), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  ShowWindow(about, SW_SHOW);
  for (HWND link = FindWindowExW(about, nullptr, WC_LINK, nullptr); link; link = FindWindowExW(about, link, WC_LINK, nullptr)) {
    RECT rect = {};
    GetClientRect(link, &rect);
    rect.right = 4;
    Click(link, rect);
  }
  EXPECT_EQ(platform_.opened_urls,
            (std::vector<std::string>{"https://fr.wikipedia.org/wiki/Hosts",
                                      "https://man7.org/linux/man-pages/man5/hosts.5.html",
                                      "https://winhelp2002.mvps.org/hosts.htm", "https://someonewhocares.org/hosts/"}));
  // System Info without a registry says so and the window stays; Enter, even on that button,
  // closes it.
  prompts_.answers.push_back(Prompts::Answer::kOk);
  HWND sysinfo = Child(about, WC_BUTTONW, "&System Info...");
  SendMessageW(sysinfo, BM_CLICK, 0, 0);
  EXPECT_EQ(prompts_.Texts(), std::vector<std::string>{"System Information Is Unavailable At This Time"});
  EXPECT_FALSE(window.closed());
  SetFocus(sysinfo);
  Key(sysinfo, VK_RETURN);
  EXPECT_TRUE(window.closed());
  AboutWindow again(form, nullptr);
  ShowWindow(again.hwnd(), SW_SHOW);
  Key(GetFocus(), VK_ESCAPE);
  EXPECT_TRUE(again.closed());
}

// MessageBoxW shows the text, the detail after a blank line, the title, the buttons and the
// error icon as asked, and its answer comes back.
TEST_F(Win32Test, MessageBoxes) {
  struct Case {
    Prompts::Buttons buttons;
    Prompts::Icon icon;
    const char* title;
    const char* detail;
    int press;
    const char* shown;  // title: text / buttons / icon
    Prompts::Answer answer;
  };
  const Case cases[] = {
      {Prompts::Buttons::kYesNo, Prompts::Icon::kNone, "Quorvale", "", IDNO, "Quorvale: Texte / yes no / no icon",
       Prompts::Answer::kNo},
      {Prompts::Buttons::kOkCancel, Prompts::Icon::kNone, "Confirmation", "C:\\a b.txt", IDCANCEL,
       "Confirmation: Texte\n\nC:\\a b.txt / ok cancel / no icon", Prompts::Answer::kCancel},
      {Prompts::Buttons::kOk, Prompts::Icon::kCritical, "Quorvale", "refusé", IDOK,
       "Quorvale: Texte\n\nrefusé / ok / icon", Prompts::Answer::kOk},
  };
  Win32Prompts prompts;
  for (const Case& c : cases) {
    std::string shown;
    OnNextWindow(nullptr, [&](HWND box) {
      shown = TextOf(box) + ": ";
      wchar_t text[256] = {};
      GetDlgItemTextW(box, 0xFFFF, text, 256);
      shown += Narrow(text) + " /";
      for (auto [id, name] : {std::pair{IDOK, "ok"}, {IDCANCEL, "cancel"}, {IDYES, "yes"}, {IDNO, "no"}}) {
        if (IsWindowVisible(GetDlgItem(box, id))) shown += std::string(" ") + name;
      }
      // The icon's control: 20 on Windows, stc1 (0x440) on Wine.
      bool icon = false;
      for (int id : {20, 0x440}) icon = icon || SendDlgItemMessageW(box, id, STM_GETICON, 0, 0) != 0;
      shown += icon ? " / icon" : " / no icon";
      PostMessageW(box, WM_COMMAND, c.press, 0);
    });
    EXPECT_EQ(prompts.Message("Texte", c.buttons, c.icon, c.title, c.detail), c.answer);
    EXPECT_EQ(shown, c.shown);
  }
}

// The filters reach the dialog as "description\0pattern\0", "*" as "*.*"; the dialog counts
// them from 1, the program from 0, in both directions.
TEST_F(Win32Test, FileDialogFiltersAndTheirIndex) {
  const std::vector<FileFilter> filters = {{"Fichiers Texte (.txt)", "*.txt"}, {"Tous les fichiers (*.*)", "*"}};
  const wchar_t expected[] = L"Fichiers Texte (.txt)\0*.txt\0Tous les fichiers (*.*)\0*.*\0";
  EXPECT_EQ(Win32Prompts::FilterList(filters), std::wstring(expected, std::size(expected)));

  constexpr int kFileName = 0x47c;  // cmb13
  constexpr int kFileTypes = 0x470;  // cmb1
  Win32Prompts prompts;
  int filter_index = 1;
  LRESULT preselected = -1;
  OnNextWindow(nullptr, [&](HWND dialog) {
    preselected = SendDlgItemMessageW(dialog, kFileTypes, CB_GETCURSEL, 0, 0);
    SendDlgItemMessageW(dialog, kFileTypes, CB_SETCURSEL, 0, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kFileTypes, CBN_SELENDOK),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, kFileTypes)));
    SetDlgItemTextW(dialog, kFileName, Widen(dir_.path() + "\\liste.txt").c_str());
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  });
  const std::string chosen = prompts.OpenFileName("Quorvale", dir_.path(), filters, &filter_index);
  EXPECT_EQ(preselected, 1);
  EXPECT_EQ(filter_index, 0);
  EXPECT_EQ(chosen, dir_.path() + "\\liste.txt");
}

}  // namespace
}  // namespace quorvale::testing
