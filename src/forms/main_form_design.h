#pragma once

#include <iterator>

#include "core/entry_list.h"
#include "forms/design.h"

namespace quorvale {

// MainForm's controls that its commands enable, disable or caption: the menu items and the
// buttons.
enum class MainControl {
  kLoadSystemHostsItem,
  kReplaceHostsItem,
  kLoadHostsFileItem,
  kSaveAsHostsItem,
  kLoadDomainListItem,
  kExportDomainsItem,
  kResetItem,
  kAboutItem,
  kLoadFileButton,
  kSortBufferButton,
  kSaveSortedAsHostsButton,
  kReplaceHostsButton,
  kLockButton,
  kLoadSortBufferButton,
  kSaveSortedNamesButton,
  kReportButton,
  kSpareButton,
  kFindItem,
  kRestoreBackupItem,
  kSourcesItem,
  kWhyItem,
};
inline constexpr int kMainControlCount = static_cast<int>(MainControl::kWhyItem) + 1;

// MainForm as it is designed: what each window program builds before the first command runs.
namespace main_form_design {

// The client area: 8145 x 6450 twips (543 x 430 pixels at 96 dpi).
inline constexpr int kClientWidthTwips = 8145;
inline constexpr int kClientHeightTwips = 6450;

inline constexpr Rect kBlockedList = {120, 120, 7935, 3615};
inline constexpr Rect kRedirectedList = {120, 3960, 7935, 2055};
// The status text keeps its design place and grows to the right, up to kStatusRightMargin
// pixels from the client area's edge, to show its whole text.
inline constexpr Rect kStatusLabel = {3600, 6120, 600, 315};
inline constexpr int kStatusRightMargin = 8;

// The lists' columns, in the order of `Column`, with their widths in pixels at 96 dpi.
struct ColumnDesign {
  const char* caption;
  int width;
};
inline constexpr ColumnDesign kColumns[] = {{"Domaine", 200}, {"Description", 203}, {"Redirection", 123}};
inline constexpr int kColumnCount = static_cast<int>(std::size(kColumns));
static_assert(kColumnCount == static_cast<int>(Column::kRedirection) + 1, "a column for each Column");

// The items added to the program's own menus stand at the end of a menu, after a separator.
struct MenuItemDesign {
  MainControl control;
  const char* name;
  const char* caption;
  bool separator_before = false;
  const char* shortcut = nullptr;  // "Ctrl+F": shown beside the caption, and active
};
struct MenuDesign {
  const char* name;  // nullptr: the items stand on the menu bar itself
  const char* caption;
  MenuItemDesign items[6];
  int item_count;
  // MainForm hears of the menu's opening (MainForm::HostsMenuOpening).
  bool reports_opening = false;
};
inline constexpr MenuDesign kMenus[] = {
    {"HostsOperation",
     "Hosts",
     {{MainControl::kLoadSystemHostsItem, "OpenHostFile", "Charger le fichier hosts"},
      {MainControl::kReplaceHostsItem, "ReplaceHosts", "Remplacer le fichier hosts"},
      {MainControl::kRestoreBackupItem, "Restaurer", "Restaurer une sauvegarde...", true},
      {MainControl::kSourcesItem, "Sources", "Sources..."}},
     4,
     true},
    {"Menu",
     "Fichier",
     {{MainControl::kLoadHostsFileItem, "Ouvrir", "Charger un fichier (format Hosts)"},
      {MainControl::kSaveAsHostsItem, "SaveAs", "Enregister sous...(format hosts)"},
      {MainControl::kLoadDomainListItem, "ChargerDom", "Charger des noms de domaines"},
      {MainControl::kExportDomainsItem, "ExportDom", "Exporter noms de domaines"},
      {MainControl::kFindItem, "Rechercher", "Rechercher...", true, "Ctrl+F"},
      {MainControl::kWhyItem, "Pourquoi", "Pourquoi ce nom ?"}},
     6},
    {nullptr,
     nullptr,
     {{MainControl::kResetItem, "Reset", "Reset"}, {MainControl::kAboutItem, "Apropos", "A propos"}},
     2},
};

// The lock button's two captions; the caption is the only record of the lock state and
// always names what the next click does.
inline constexpr const char* kLockCaption = "Verouiller le fichier hosts";
inline constexpr const char* kUnlockCaption = "Deverouiller le fichier hosts";

// The key that finds the next row holding the last text looked for.
inline constexpr const char* kFindNextShortcut = "F3";

// The button column lies below the visible client area, as designed: the commands are reached
// through the menus; the buttons keep their states and their tab order. The load, replace
// and spare buttons do nothing when clicked.
struct ButtonDesign {
  MainControl control;
  const char* name;
  const char* caption;
  Rect place;
  bool enabled;
};
inline constexpr ButtonDesign kButtons[] = {
    {MainControl::kLoadFileButton, "Command1", "Charger un fichier ", {7800, 6480, 1815, 375}, true},
    {MainControl::kSortBufferButton, "Command2", "Trier", {7800, 7080, 1815, 495}, false},
    {MainControl::kReportButton, "Command8", "Voir les doublons et les erreurs", {7800, 7680, 1815, 495}, false},
    {MainControl::kSaveSortedNamesButton,
     "Command7",
     "Enregistrer uniquement les noms de domaines",
     {7800, 8280, 1815, 495},
     false},
    {MainControl::kSaveSortedAsHostsButton, "Command3", "Enregistrer sous...", {7800, 8880, 1815, 495}, false},
    {MainControl::kReplaceHostsButton, "Command4", "Remplacer le fichier hosts", {7800, 9480, 1815, 495}, false},
    {MainControl::kLockButton, "Command5", kLockCaption, {7800, 10080, 1815, 495}, true},
    {MainControl::kLoadSortBufferButton,
     "Command6",
     "Charger un fichier(nom de domaines seulement)",
     {7800, 10680, 1815, 495},
     true},
    {MainControl::kSpareButton, "Command9", "Command9", {7800, 11640, 1215, 495}, true},
};

// The tab order: these controls in turn, by object name, with the two lists between the
// sort buffer's load button and the spare button.
inline constexpr const char* kTabOrder[] = {"Command1", "Command2", "Command3", "Command4",  "Command5", "Command7",
                                            "Command8", "Command6", "ListView1", "ListView2", "Command9"};

}  // namespace main_form_design

}  // namespace quorvale
