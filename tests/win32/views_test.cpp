// The Win32 views in real windows (Windows, or Wine in an X session): what only Windows can
// get wrong, as wiring, keys through the dialog manager, virtual lists, message boxes.

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "core/session.h"
#include "core/status.h"
#include "core/utf16.h"
#include "hosts/hosts_replace.h"
#include "support/fake_platform.h"
#include "support/scripted_prompts.h"
#include "support/test_files.h"
#include "win32/about_window.h"
#include "win32/backups_window.h"
#include "win32/main_window.h"
#include "win32/options_window.h"
#include "win32/progress_window.h"
#include "win32/search_window.h"
#include "win32/sources_window.h"
#include "win32/win32_prompts.h"

namespace quorvale::testing {
namespace {

std::string TextOf(HWND hwnd) {
  wchar_t text[512] = {};
  GetWindowTextW(hwnd, text, 512);
  return Utf8FromWide(text);
}

HWND Child(HWND parent, const wchar_t* window_class, const char* caption) {
  return FindWindowExW(parent, nullptr, window_class, WideFromUtf8(caption).c_str());
}

// A key as the message loop hands it over: through the dialog manager of its window.
void Key(HWND focus, WPARAM key) {
  for (UINT message : {WM_KEYDOWN, WM_CHAR, WM_KEYUP}) {
    MSG msg = {focus, message, key, 0, 0, {}};
    DispatchWindowMessage(&msg);
  }
}

// A key that the shortcuts see: its press alone, with Ctrl held or not.
void ShortcutKey(HWND focus, WPARAM key, bool ctrl = false) {
  BYTE keys[256] = {};
  keys[VK_CONTROL] = ctrl ? 0x80 : 0;
  SetKeyboardState(keys);
  MSG msg = {focus, WM_KEYDOWN, key, 0, 0, {}};
  DispatchWindowMessage(&msg);
}

// Runs `action` on the next modal window (a message box, or one of the program's), from a
// timer of its modal loop.
std::function<void(HWND)> next_box_action;
void OnNextModalWindow(std::function<void(HWND)> action) {
  next_box_action = std::move(action);
  SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR timer, DWORD) {
    if (HWND box = GetActiveWindow()) {
      KillTimer(nullptr, timer);
      next_box_action(box);
    }
  });
}

// "Domaine/200^ Description/203 Redirection/123": captions, widths and arrows (^ v); then
// the first row's cells.
std::string Columns(HWND list) {
  HWND header = ListView_GetHeader(list);
  std::string columns;
  for (int i = 0; i < Header_GetItemCount(header); ++i) {
    wchar_t caption[64] = {};
    HDITEMW item = {};
    item.mask = HDI_TEXT | HDI_WIDTH | HDI_FORMAT;
    item.pszText = caption;
    item.cchTextMax = 64;
    Header_GetItem(header, i, &item);
    columns += (i ? " " : "") + Utf8FromWide(caption) + "/" + std::to_string(item.cxy) +
               (item.fmt & HDF_SORTUP ? "^" : item.fmt & HDF_SORTDOWN ? "v" : "");
  }
  for (int i = 0; i < 3 && ListView_GetItemCount(list) > 0; ++i) {
    wchar_t cell[256] = {};
    ListView_GetItemText(list, 0, i, cell, 256);
    columns += (i ? "|" : ": ") + Utf8FromWide(cell);
  }
  return columns;
}

class Win32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    InitControlClasses();
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (probe == nullptr) GTEST_SKIP() << "no window system here (under Wine, run the tests in an X session)";
    DestroyWindow(probe);
  }

  TempDir dir_;
  FakePlatform platform_;
  ScriptedPrompts prompts_;
};

class MainWindowTest : public Win32Test {
 protected:
  void SetUp() override {
    Win32Test::SetUp();
    if (IsSkipped()) return;
    platform_.executable_path = dir_.File("quorvale.exe");
    platform_.hosts_path = dir_.File("HOSTS");
    window_ = std::make_unique<MainWindow>(form_);
    ShowWindow(Main(), SW_SHOW);
  }

  HWND Main() const { return window_->hwnd(); }
  HWND List(int number) const { return GetDlgItem(Main(), main_ids::kBlockedList + number - 1); }
  // "Hosts[Charger le fichier hosts|-Remplacer le fichier hosts] ...", "-" before a disabled
  // item; with `choose`, runs that item as the menu does.
  std::string Menus(const char* choose = nullptr) {
    std::string menus;
    std::function<void(HMENU, const char*)> walk = [&](HMENU menu, const char* separator) {
      for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t caption[128] = {};
        GetMenuStringW(menu, i, caption, 128, MF_BYPOSITION);
        const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
        menus += (i ? separator : "") + std::string((state & (MF_GRAYED | MF_SEPARATOR)) == MF_GRAYED ? "-" : "") +
                 Utf8FromWide(caption) + (GetSubMenu(menu, i) ? "[" : "");
        if (choose && Utf8FromWide(caption) == choose) SendMessageW(Main(), WM_COMMAND, GetMenuItemID(menu, i), 0);
        if (HMENU items = GetSubMenu(menu, i)) {
          walk(items, "|");
          menus += "]";
        }
      }
    };
    walk(GetMenu(Main()), " ");
    return menus;
  }
  std::string Columns(int list) const { return testing::Columns(List(list)); }

  MainForm form_{platform_, prompts_};
  std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, TheDesignedWindowAndItsTabOrder) {
  ASSERT_EQ(window_->dpi(), 96) << "the widths below are at 96 dpi";
  EXPECT_EQ(GetWindowLongPtrW(Main(), GWL_STYLE) & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  EXPECT_EQ(Menus(), "Hosts[Charger le fichier hosts|-Remplacer le fichier hosts||Restaurer une sauvegarde...|Sources...] "
                     "Fichier[Charger un fichier (format Hosts)|Enregister sous...(format hosts)|Charger des noms de "
                     "domaines|Exporter noms de domaines||Rechercher...\tCtrl+F|-Pourquoi ce nom ?] -Reset A propos");
  // The "Hosts" menu enables its last item as it opens, when a backup copy exists.
  SendMessageW(Main(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(GetMenu(Main()), 0)), 0);
  EXPECT_NE(Menus().find("|-Restaurer"), std::string::npos) << Menus();
  EXPECT_EQ(Columns(1), "Domaine/200^ Description/203 Redirection/123");
  EXPECT_EQ(Columns(2), Columns(1));
  // With every button enabled, Tab goes through them in their order, the lists among them.
  for (HWND child = GetWindow(Main(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) EnableWindow(child, TRUE);
  std::string order;
  HWND control = Child(Main(), WC_BUTTONW, "Charger un fichier ");
  for (int i = 0; i < 11; ++i, control = GetNextDlgTabItem(Main(), control, FALSE)) {
    order += (control == List(1) ? "ListView1" : control == List(2) ? "ListView2" : TextOf(control)) + "|";
  }
  EXPECT_EQ(order, "Charger un fichier |Trier|Enregistrer sous...|Remplacer le fichier hosts|Verouiller le fichier "
                   "hosts|Enregistrer uniquement les noms de domaines|Voir les doublons et les erreurs|Charger un "
                   "fichier(nom de domaines seulement)|ListView1|ListView2|Command9|");
}

// Each menu item and button reaches its own command: what the command shows first tells.
TEST_F(MainWindowTest, MenuItemsAndButtonsReachTheirCommands) {
  const std::string load_first = "vous devez d'abord charger un ficher d'adresse!";
  const std::vector<std::pair<std::string, std::string>> controls = {
      {"Charger un fichier (format Hosts)", "open"}, {"Charger des noms de domaines", "open"},
      {"Exporter noms de domaines", "save"}, {"Enregister sous...(format hosts)", load_first},
      {"Charger le fichier hosts", "report"},
      {"button Trier", "vous devez d'abord charger un ficher d'adresses!"}, {"button Enregistrer sous...", load_first},
      {"button Charger un fichier(nom de domaines seulement)", "open"},
      {"button Enregistrer uniquement les noms de domaines", load_first}, {"button Verouiller le fichier hosts", "started"},
      {"button Voir les doublons et les erreurs", "report"}, {"button Charger un fichier ", "nothing"},
      {"button Remplacer le fichier hosts", "nothing"}, {"button Command9", "nothing"}};
  for (const auto& [control, first_seen] : controls) {
    prompts_ = ScriptedPrompts();
    prompts_.files.push_back({});
    prompts_.answers.push_back(Prompts::Answer::kOk);
    platform_.started.clear();
    platform_.shown_files.clear();
    if (control.starts_with("button ")) {
      HWND button = Child(Main(), WC_BUTTONW, control.substr(7).c_str());
      EnableWindow(button, TRUE);
      SendMessageW(button, BM_CLICK, 0, 0);
    } else {
      Menus(control.c_str());
    }
    EXPECT_EQ(!prompts_.dialogs.empty()        ? (prompts_.dialogs[0].save ? "save" : "open")
              : !prompts_.messages.empty()     ? prompts_.messages[0].text
              : !platform_.started.empty()     ? "started"
              : !platform_.shown_files.empty() ? "report"
                                               : "nothing",
              first_seen)
        << control;
  }
}

// The virtual lists read the session's rows; a header click sorts once and moves the arrow.
TEST_F(MainWindowTest, ListsShowTheRowsAndHeaderClicksSort) {
  WriteBytes(dir_.File("HOSTS"), "0.0.0.0 b.example #1\r\n0.0.0.0 a.example #2\r\n10.0.0.1 c.lan # caf\xE9\r\n");
  Menus("Charger le fichier hosts");
  EXPECT_EQ(ListView_GetItemCount(List(1)), 2);
  EXPECT_EQ(Columns(1), "Domaine/200^ Description/203 Redirection/123: a.example|#2|0.0.0.0");
  EXPECT_EQ(TextOf(GetDlgItem(Main(), main_ids::kStatusLabel)), "3 Adresse(s) chargée(s)");
  EXPECT_EQ(Menus().find('-'), Menus().find("|-Pourquoi") + 1) << "every menu item enabled but one: " << Menus();
  // Domaine reversed, then Description in the same direction.
  HWND header = ListView_GetHeader(List(1));
  for (int column : {0, 1}) {
    RECT place = {};
    Header_GetItemRect(header, column, &place);
    const LPARAM middle = MAKELPARAM((place.left + place.right) / 2, (place.top + place.bottom) / 2);
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, middle);
    SendMessageW(header, WM_LBUTTONUP, 0, middle);
  }
  EXPECT_EQ(Columns(1), "Domaine/200 Description/203v Redirection/123: a.example|#2|0.0.0.0");
  EXPECT_EQ(Columns(2), "Domaine/200^ Description/203 Redirection/123: c.lan|# caf\xC3\xA9|10.0.0.1");
}

// A real Delete key in a list removes its selected rows, several of them.
TEST_F(MainWindowTest, DeleteKeyRemovesTheSelectedRows) {
  WriteBytes(dir_.File("HOSTS"), "0.0.0.0 a.example\r\n0.0.0.0 b.example\r\n0.0.0.0 c.example\r\n10.0.0.1 d.lan\r\n");
  Menus("Charger le fichier hosts");
  for (int row : {0, 2}) ListView_SetItemState(List(1), row, LVIS_SELECTED, LVIS_SELECTED);
  Key(List(1), VK_DELETE);
  EXPECT_EQ(ListView_GetItemCount(List(1)), 1);
  EXPECT_EQ(Columns(1), "Domaine/200^ Description/203 Redirection/123: b.example||0.0.0.0");
  EXPECT_EQ(TextOf(GetDlgItem(Main(), main_ids::kStatusLabel)), "2 Adresse(s) chargée(s)");
}

// The messages that read a list's selection, as a subclass of the list counts them.
int selection_reads = 0;
LRESULT CALLBACK CountSelectionReads(HWND list, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
  selection_reads += message == LVM_GETNEXTITEM || message == LVM_GETSELECTEDCOUNT || message == LVM_GETITEMSTATE;
  return DefSubclassProc(list, message, wparam, lparam);
}

// A range change of the virtual list (Shift+End, Ctrl+A) is heard with as many reads of the
// list for 10 000 selected rows as for 10; so is Delete of them.
TEST_F(MainWindowTest, SelectionReadsDoNotGrowWithTheSelectedRows) {
  ASSERT_TRUE(SetWindowSubclass(List(1), CountSelectionReads, 1, 0));
  for (const int rows : {10, 10'000}) {
    std::string hosts;
    for (int i = 0; i < rows; ++i) hosts += "0.0.0.0 r" + std::to_string(i) + ".example\r\n";
    WriteBytes(dir_.File("HOSTS"), hosts);
    Menus("Charger le fichier hosts");
    ShortcutKey(List(1), 'A', /*ctrl=*/true);
    selection_reads = 0;
    NMLVODSTATECHANGE change = {{List(1), main_ids::kBlockedList, LVN_ODSTATECHANGED}, 0, rows - 1, LVIS_SELECTED, 0};
    SendMessageW(Main(), WM_NOTIFY, main_ids::kBlockedList, reinterpret_cast<LPARAM>(&change));
    std::string seen = std::to_string(ListView_GetSelectedCount(List(1))) + " selected, " +
                       std::to_string(selection_reads) + " read(s); Delete: ";
    selection_reads = 0;
    ShortcutKey(List(1), VK_DELETE);
    EXPECT_EQ(seen + std::to_string(selection_reads) + " read(s), " + std::to_string(ListView_GetItemCount(List(1))),
              std::to_string(rows) + " selected, 1 read(s); Delete: 7 read(s), 0");
  }
}

// Ctrl+F opens the find window ("OK" by Enter, Escape for "Annuler"); F3 goes on to the
// next row; the row found is the only one selected and its list has the focus.
TEST_F(MainWindowTest, CtrlFAndF3FindRows) {
  WriteBytes(dir_.File("HOSTS"), "0.0.0.0 a.example\r\n0.0.0.0 b.example\r\n10.0.0.1 c.example\r\n");
  Menus("Charger le fichier hosts");
  auto selected = [&] {
    std::string rows;
    for (int list : {1, 2}) {
      for (int row = -1; (row = ListView_GetNextItem(List(list), row, LVNI_SELECTED)) >= 0;) {
        rows += std::to_string(list) + ":" + std::to_string(row) + (GetFocus() == List(list) ? "*" : "") + " ";
      }
    }
    return rows;
  };
  for (const auto& [text, key, found] : {std::tuple{"EXAMPLE", VK_RETURN, "1:0* "}, {"c.", VK_ESCAPE, "1:0* "}}) {
    std::string shown;
    OnNextModalWindow([&](HWND window) {
      HWND field = GetDlgItem(window, search_ids::kTextField);
      RECT label = {}, field_place = {};
      GetWindowRect(GetDlgItem(window, search_ids::kPrompt), &label);
      GetWindowRect(field, &field_place);
      shown = TextOf(window) + ": " + TextOf(GetDlgItem(window, search_ids::kPrompt)) +
              (label.right <= field_place.left && label.top == field_place.top ? " before the field " : " ") +
              TextOf(GetDlgItem(window, IDOK)) + "/" + TextOf(GetDlgItem(window, IDCANCEL)) +
              (GetWindowLongPtrW(GetDlgItem(window, IDOK), GWL_STYLE) & BS_DEFPUSHBUTTON ? " default OK" : "") +
              (GetFocus() == field ? ", focus in the field" : "");
      SetWindowTextW(field, WideFromUtf8(text).c_str());
      Key(field, key);
    });
    ShortcutKey(List(2), 'F', /*ctrl=*/true);
    EXPECT_EQ(shown, "Rechercher: Nom a rechercher : before the field OK/Annuler default OK, focus in the field");
    EXPECT_EQ(selected(), found) << text;
  }
  ShortcutKey(List(1), VK_F3);
  EXPECT_EQ(selected(), "1:1* ");
  ShortcutKey(List(1), VK_F3);
  EXPECT_EQ(selected(), "2:0* ");
}

// Files dropped on the window load, their paths turned from UTF-16 back into UTF-8.
TEST_F(MainWindowTest, DroppedFilesLoad) {
  const std::vector<std::string> paths = {dir_.File("liste é.txt"), dir_.File("autre.txt")};
  WriteBytes(paths[0], "0.0.0.0 un.example\r\n");
  WriteBytes(paths[1], "0.0.0.0 deux.example\r\n");
  std::wstring names;
  for (const std::string& path : paths) names += WideFromUtf8(path) + L'\0';
  names += L'\0';
  HGLOBAL drop = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
  auto* files = static_cast<DROPFILES*>(GlobalLock(drop));
  files->pFiles = sizeof(DROPFILES);
  files->fWide = TRUE;
  std::memcpy(files + 1, names.data(), names.size() * sizeof(wchar_t));
  GlobalUnlock(drop);
  PostMessageW(Main(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  ProcessPendingMessages();
  EXPECT_EQ(Columns(1), "Domaine/200^ Description/203 Redirection/123: deux.example||0.0.0.0");
  EXPECT_EQ(ListView_GetItemCount(List(1)), 2);
}

// The backups window: its columns and rows, the first row selected, the entries counted once
// it is on screen; Enter is "Restaurer" on the selected row, Escape "Annuler".
TEST_F(Win32Test, BackupsWindowListsTheCopiesAndItsButtonsWork) {
  WriteBytes(dir_.File("HOSTS"), "current\r\n");
  WriteBytes(dir_.File("HOSTS.20240101-000000.bak"), "0.0.0.0 a.example\r\n0.0.0.0 b.example\r\n");
  BackupEntryCounts counts;
  BackupsForm form(platform_, prompts_, dir_.File("HOSTS"), counts, {});
  BackupsWindow window(form, nullptr);
  HWND list = GetDlgItem(window.hwnd(), backups_ids::kCopiesList);
  ShowWindow(window.hwnd(), SW_SHOW);
  ProcessPendingMessages();
  EXPECT_EQ(TextOf(window.hwnd()) + " " + Columns(list) + " " + TextOf(GetDlgItem(window.hwnd(), IDOK)) + "/" +
                TextOf(GetDlgItem(window.hwnd(), IDCANCEL)),
            "Sauvegardes Date/160 Taille/110 Entrees/146: " +
                BackupTimeText(platform_.FileModifiedTime(dir_.File("HOSTS.20240101-000000.bak"))) +
                "|38|2 Restaurer/Annuler");
  EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 0);
  prompts_.answers.push_back(Prompts::Answer::kNo);
  Key(list, VK_RETURN);
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_TRUE(prompts_.messages[0].text.starts_with("Remplacer le fichier hosts par la sauvegarde du "));
  Key(list, VK_ESCAPE);
  EXPECT_TRUE(window.closed());
}

// The Sources window from its menu item: the sources file's rows, a click on a check box
// switches the source off in the file, "Fermer" closes.
TEST_F(MainWindowTest, SourcesWindowShowsTheFileAndSwitchesASourceOff) {
  std::filesystem::create_directories(dir_.File("config"));
  platform_.config_folder = dir_.File("config/");
  const std::string sources = dir_.File("config/sources.txt");
  WriteBytes(sources, "# listes\r\nhttps://a.example/hosts\r\nlists/b.txt domains\r\n");
  std::string seen;
  OnNextModalWindow([&](HWND window) {
    HWND list = GetDlgItem(window, sources_ids::kList);
    seen = TextOf(window) + " " + testing::Columns(list) + " " + std::to_string(ListView_GetItemCount(list)) + " rows, " +
           std::to_string(ListView_GetCheckState(list, 0)) + std::to_string(ListView_GetCheckState(list, 1));
    RECT row = {};
    ListView_GetItemRect(list, 0, &row, LVIR_BOUNDS);
    LVHITTESTINFO hit = {{row.left, (row.top + row.bottom) / 2}, 0, 0, 0, 0};
    while (hit.pt.x < row.right && (ListView_HitTest(list, &hit), !(hit.flags & LVHT_ONITEMSTATEICON))) ++hit.pt.x;
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(hit.pt.x, hit.pt.y));
    SendMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(hit.pt.x, hit.pt.y));
    ProcessPendingMessages();
    seen += " then " + std::to_string(ListView_GetCheckState(list, 0));
    // The daily box: no helper here, so a click says so and the box goes back.
    HWND daily = GetDlgItem(window, sources_ids::kDailyBox);
    prompts_.answers.push_back(Prompts::Answer::kOk);
    SendMessageW(daily, BM_CLICK, 0, 0);
    seen += ", " + TextOf(daily) + " " + std::to_string(SendMessageW(daily, BM_GETCHECK, 0, 0));
    SendMessageW(GetDlgItem(window, sources_ids::kCloseButton), BM_CLICK, 0, 0);
  });
  Menus("Sources...");
  EXPECT_EQ(seen, "Sources Adresse/290 Type/125 Mise a jour/140 Etat/315 Entrees/66: https://a.example/hosts|HOSTS| "
                  "2 rows, 11 then 0, Mettre a jour &chaque jour 0");
  EXPECT_EQ(prompts_.messages.back().text, SourcesForm::kDailyOnFailed);
  EXPECT_EQ(ReadBytes(sources), "# listes\r\n#https://a.example/hosts\r\nlists/b.txt domains\r\n");
  EXPECT_TRUE(IsWindowEnabled(Main()));
}

// The Sources window's keys: one button drawn as the default, the focused one, else "Fermer"
// (after an update too); Enter on a row edits it.
TEST_F(Win32Test, SourcesWindowKeysAndItsOneDefaultButton) {
  platform_.config_folder = platform_.cache_folder = dir_.File("");
  WriteBytes(dir_.File("sources.txt"), "https://a.example/hosts\r\n");
  MainForm main(platform_, prompts_);
  SourcesForm form(platform_, prompts_, main, {});
  SourcesWindow window(form, nullptr);
  ShowWindow(window.hwnd(), SW_SHOW);
  std::string seen;
  auto defaults = [&] {
    for (HWND child = GetWindow(window.hwnd(), GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
      if (SendMessageW(child, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) seen += TextOf(child) + " ";
    }
  };
  defaults();
  Key(GetFocus(), VK_TAB);  // from the list
  Key(GetFocus(), VK_TAB);
  defaults();
  prompts_.answers = {Prompts::Answer::kOk};  // no source could be downloaded
  form.Update();
  defaults();
  OnNextModalWindow([&](HWND editor) {
    seen += TextOf(editor);
    Key(GetFocus(), VK_ESCAPE);
  });
  Key(GetFocus(), VK_RETURN);  // on the list, where the update left the focus
  EXPECT_EQ(seen, "&Fermer &Ajouter... &Fermer Modifier la source");
}

// The options window: focus on the www box, Tab in order, no control over another, Enter and
// Escape do nothing wherever the focus is, a click changes its box before OptionsForm hears of it.
TEST_F(Win32Test, OptionsWindowKeysPlacesAndClicks) {
  Session session;
  session.RedirectAddress = "0.0.0.0";
  OptionsForm form(session);
  OptionsWindow window(form, nullptr);
  ShowWindow(window.hwnd(), SW_SHOW);
  auto control = [&](int id) { return GetDlgItem(window.hwnd(), id); };
  std::string order;
  for (int i = 0; i < 6; ++i, Key(GetFocus(), VK_TAB)) order += TextOf(GetFocus()) + "|";
  EXPECT_EQ(order, "Ajouter une ligne avec www. pour chaque entree|127.0.0.1|0.0.0.0|OK|Annuler|"
                   "Ajouter une ligne avec www. pour chaque entree|");
  RECT client = {};
  GetClientRect(window.hwnd(), &client);
  MapWindowPoints(window.hwnd(), nullptr, reinterpret_cast<POINT*>(&client), 2);
  for (HWND one = GetWindow(window.hwnd(), GW_CHILD); one; one = GetWindow(one, GW_HWNDNEXT)) {
    RECT place = {}, other_place = {}, overlap = {};
    GetWindowRect(one, &place);
    EXPECT_LE(place.right, client.right) << TextOf(one);
    InflateRect(&place, 2, 0);
    for (HWND other = GetWindow(one, GW_HWNDNEXT); other && GetWindowRect(other, &other_place);
         other = GetWindow(other, GW_HWNDNEXT)) {
      EXPECT_FALSE(IntersectRect(&overlap, &place, &other_place)) << TextOf(one) << " touches " << TextOf(other);
    }
  }
  for (int id : {options_ids::kWwwBox, options_ids::kOkButton, options_ids::kCancelButton}) {
    SetFocus(control(id));
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) Key(control(id), key);
  }
  EXPECT_FALSE(window.closed());
  EXPECT_EQ(session.RedirectAddress, "0.0.0.0");
  SendMessageW(control(options_ids::kZeroBox), BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(control(options_ids::kLoopbackBox), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  SendMessageW(control(options_ids::kWwwBox), BM_CLICK, 0, 0);
  SendMessageW(control(options_ids::kOkButton), BM_CLICK, 0, 0);
  EXPECT_TRUE(window.closed());
  EXPECT_EQ(session.RedirectAddress + (session.AddWwwLines ? " www" : ""), "0.0.0.0");
}

// The about window's title is bold, at the size of the other texts.
TEST_F(Win32Test, AboutTitleIsBold) {
  AboutForm form(platform_, prompts_);
  AboutWindow window(form, nullptr);
  std::string fonts;
  for (const char* text : {"Quorvale", "Version " QUORVALE_VERSION}) {
    LOGFONTW font = {};
    HWND label = Child(window.hwnd(), WC_STATICW, text);
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)), sizeof font, &font);
    fonts += std::to_string(font.lfWeight) + (font.lfHeight == MessageFontAt(window.dpi()).lfHeight ? " " : "+ ");
  }
  EXPECT_EQ(fonts, "700 400 ");
}

// Moved to a screen of another resolution, every window lays itself out again at it (its
// controls' fonts grow) and takes the whole rectangle that Windows suggests, or fits the work
// area when that rectangle is not inside it. Every window fits a 1024 x 768 work area at 96,
// 144 and 192 dpi; the Sources and "Pourquoi ce nom ?" windows, which the user may resize,
// shrink their lists there, and every window keeps its controls in its client area (but the
// main window's buttons, which lie below it as designed).
TEST_F(Win32Test, EveryWindowFitsItsScreenAndTakesTheSuggestedRectangleAtANewResolution) {
  platform_.executable_path = dir_.File("quorvale.exe");
  platform_.hosts_path = dir_.File("HOSTS");
  Session session;
  MainForm main(platform_, prompts_);
  OptionsForm options(session);
  ProgressForm progress(session);
  AboutForm about(platform_, prompts_);
  SearchForm search;
  BackupEntryCounts counts;
  BackupsForm backups(platform_, prompts_, dir_.File("HOSTS"), counts, {});
  SourcesForm sources(platform_, prompts_, main, {});
  WhyForm why("a.example", {"a.example: ..."});
  SourceEditorForm editor(prompts_, SourceEditorForm::kAddCaption, "", SourceKind::kHosts);
  AllowedNamesForm allowed(platform_, prompts_, dir_.File("allow.txt"));
  const std::unique_ptr<Window> windows[] = {std::make_unique<MainWindow>(main),
                                             std::make_unique<OptionsWindow>(options, nullptr),
                                             std::make_unique<ProgressWindow>(progress, nullptr),
                                             std::make_unique<AboutWindow>(about, nullptr),
                                             std::make_unique<SearchWindow>(search, nullptr),
                                             std::make_unique<BackupsWindow>(backups, nullptr),
                                             std::make_unique<SourcesWindow>(sources, nullptr),
                                             std::make_unique<WhyWindow>(why, nullptr),
                                             std::make_unique<SourceEditorWindow>(editor, nullptr),
                                             std::make_unique<AllowedNamesWindow>(allowed, nullptr)};
  auto inside = [](const RECT& place, const RECT& area) {
    RECT common = {};
    return IntersectRect(&common, &place, &area) && EqualRect(&common, &place);
  };
  const RECT suggested = {40, 30, 40 + 900, 30 + 700};
  const RECT off_screen = {-300, 30, -300 + 900, 30 + 700};
  const RECT small_screen = {0, 0, 1024, 768};
  std::string moved, fitted;
  for (const std::unique_ptr<Window>& window : windows) {
    HWND hwnd = window->hwnd();
    auto font_height = [&] {
      LOGFONTW font = {};
      HWND last = GetWindow(GetWindow(hwnd, GW_CHILD), GW_HWNDLAST);
      GetObjectW(reinterpret_cast<HFONT>(SendMessageW(last, WM_GETFONT, 0, 0)), sizeof font, &font);
      return std::abs(font.lfHeight);
    };
    const LONG before = font_height();
    RECT place = {};
    SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    GetWindowRect(hwnd, &place);
    moved += TextOf(hwnd) + (EqualRect(&place, &suggested) ? " placed" : " elsewhere") +
             (font_height() > before ? " larger" : " same");
    SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&off_screen));
    GetWindowRect(hwnd, &place);
    moved += inside(place, ScreenOf(hwnd).work) ? " inside|" : " outside|";

    // The list or text that a resizable window shrinks, and its width by design.
    const bool resizable = hwnd == windows[6]->hwnd() || hwnd == windows[7]->hwnd();
    HWND list = GetDlgItem(hwnd, hwnd == windows[6]->hwnd() ? sources_ids::kList : why_ids::kText);
    MINMAXINFO limits = {};
    SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    fitted += TextOf(hwnd) + ((GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_THICKFRAME) && limits.ptMinTrackSize.x > 0
                                  ? " resizable"
                                  : "");
    for (int dpi : {96, 144, 192}) {
      window->FitTo({small_screen, dpi},
                    hwnd == windows[0]->hwnd() ? Window::Placement::kKeepPlace : Window::Placement::kCentre);
      GetWindowRect(hwnd, &place);
      fitted += " " + std::to_string(dpi) + (inside(place, small_screen) ? "" : " outside");
      RECT client = {}, control = {};
      GetClientRect(hwnd, &client);
      MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
      for (HWND child = GetWindow(hwnd, GW_CHILD); child && hwnd != windows[0]->hwnd();
           child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetWindowRect(child, &control) && !inside(control, client)) fitted += " cut " + TextOf(child);
      }
      SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
      if (resizable && (limits.ptMinTrackSize.x > 1024 || limits.ptMinTrackSize.y > 768)) fitted += " too large";
      GetWindowRect(list, &control);
      if (resizable && control.right - control.left < Scale(SourcesForm::kListWidth, dpi)) fitted += " shrank";
    }
    fitted += "|";
  }
  EXPECT_EQ(moved, "Quorvale placed larger inside|Options placed larger inside|Form3 placed larger inside|"
                   "About Quorvale placed larger inside|Rechercher placed larger inside|Sauvegardes placed larger inside|"
                   "Sources placed larger inside|Pourquoi ce nom ? placed larger inside|"
                   "Ajouter une source placed larger inside|Noms autorises placed larger inside|");
  EXPECT_EQ(fitted, "Quorvale 96 144 192|Options 96 144 192|Form3 96 144 192|About Quorvale 96 144 192|"
                    "Rechercher 96 144 192|Sauvegardes 96 144 192|Sources resizable 96 144 shrank 192 shrank|"
                    "Pourquoi ce nom ? resizable 96 144 shrank 192 shrank|Ajouter une source 96 144 192|"
                    "Noms autorises 96 144 192|");
}

// A control that cannot be made ends the program, after a message box that names the call and
// gives the system's reason.
TEST_F(Win32Test, AFailedCreationEndsTheProgramWithTheSystemsReason) {
  const std::string call = "Quorvale: CreateWindowExW (Quorvale.Missing) a echoue, le programme va se fermer.\n\n";
  // The class cannot be found, says Windows; Wine, that it does not exist.
  const std::string expected[] = {call + WindowsErrorText(ERROR_CANNOT_FIND_WND_CLASS),
                                  call + WindowsErrorText(ERROR_CLASS_DOES_NOT_EXIST)};
  EXPECT_EXIT(
      {
        OnNextModalWindow([&](HWND box) {
          wchar_t text[512] = {};
          GetDlgItemTextW(box, 0xFFFF, text, 512);
          const std::string shown = TextOf(box) + ": " + Utf8FromWide(text);
          const bool known = shown == expected[0] || shown == expected[1];
          std::fprintf(stderr, "box: %s\n", known ? "as expected" : shown.c_str());
          PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
        HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        AddControl(parent, L"Quorvale.Missing", "", 0, 1);
      },
      ::testing::ExitedWithCode(1), "box: as expected");
}

// MessageBoxW shows the text, the detail after a blank line, the title, the buttons and the
// error icon as asked, and its answer comes back. The filters reach the file dialogs as
// "description\0pattern\0", "*" as "*.*".
TEST_F(Win32Test, MessageBoxesAndFileFilters) {
  struct Case {
    Prompts::Buttons buttons;
    Prompts::Icon icon;
    const char* title;
    const char* detail;
    int press;
    Prompts::Answer answer;
    const char* shown;  // title: text / buttons / icon
  };
  const Case cases[] = {
      {Prompts::Buttons::kYesNo, Prompts::Icon::kNone, "Quorvale", "", IDNO, Prompts::Answer::kNo,
       "Quorvale: Texte / yes no / no icon"},
      {Prompts::Buttons::kOkCancel, Prompts::Icon::kCritical, "Confirmation", "refusé", IDCANCEL,
       Prompts::Answer::kCancel, "Confirmation: Texte\n\nrefusé / ok cancel / icon"},
  };
  Win32Prompts prompts;
  for (const Case& c : cases) {
    std::string shown;
    OnNextModalWindow([&](HWND box) {
      wchar_t text[256] = {};
      GetDlgItemTextW(box, 0xFFFF, text, 256);
      shown = TextOf(box) + ": " + Utf8FromWide(text) + " /";
      for (auto [id, name] : {std::pair{IDOK, "ok"}, {IDCANCEL, "cancel"}, {IDYES, "yes"}, {IDNO, "no"}}) {
        if (IsWindowVisible(GetDlgItem(box, id))) shown += std::string(" ") + name;
      }
      // The icon's control is 20 on Windows, stc1 (0x440) on Wine.
      const bool icon = SendDlgItemMessageW(box, 20, STM_GETICON, 0, 0) || SendDlgItemMessageW(box, 0x440, STM_GETICON, 0, 0);
      shown += icon ? " / icon" : " / no icon";
      PostMessageW(box, WM_COMMAND, c.press, 0);
    });
    EXPECT_EQ(prompts.Message("Texte", c.buttons, c.icon, c.title, c.detail), c.answer);
    EXPECT_EQ(shown, c.shown);
  }
  const wchar_t filters[] = L"Fichiers Texte (.txt)\0*.txt\0Tous les fichiers (*.*)\0*.*\0";
  EXPECT_EQ(Win32Prompts::FilterList({{"Fichiers Texte (.txt)", "*.txt"}, {"Tous les fichiers (*.*)", "*"}}),
            std::wstring(filters, std::size(filters)));
}

}  // namespace
}  // namespace quorvale::testing
