#pragma once

#include <iterator>

#include "core/entry_list.h"
#include "forms/design.h"

namespace quorvale {

// Form1's controls that its commands enable, disable or caption: the menu items and the
// buttons.
enum class Form1Control {
  kOpenHostFile,
  kReplaceHosts,
  kOuvrir,
  kSaveAs,
  kChargerDom,
  kExportDom,
  kReset,
  kApropos,
  kCommand1,
  kCommand2,
  kCommand3,
  kCommand4,
  kCommand5,
  kCommand6,
  kCommand7,
  kCommand8,
  kCommand9,
  kRechercher,
  kRestaurer,
};
inline constexpr int kForm1ControlCount = static_cast<int>(Form1Control::kRestaurer) + 1;

// Form1 as it is designed: what each window program builds before the first command runs.
namespace form1_design {

// The client area: 8145 x 6450 twips (543 x 430 pixels at 96 dpi).
inline constexpr int kClientWidthTwips = 8145;
inline constexpr int kClientHeightTwips = 6450;

inline constexpr Rect kListView1 = {120, 120, 7935, 3615};
inline constexpr Rect kListView2 = {120, 3960, 7935, 2055};
// The status text keeps its design place and grows to the right, up to kStatusRightMargin
// pixels from the client area's edge, to show its whole text.
inline constexpr Rect kLabel1 = {3600, 6120, 600, 315};
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
  Form1Control control;
  const char* name;
  const char* caption;
  bool separator_before = false;
  const char* shortcut = nullptr;  // "Ctrl+F": shown beside the caption, and active
};
struct MenuDesign {
  const char* name;  // nullptr: the items stand on the menu bar itself
  const char* caption;
  MenuItemDesign items[5];
  int item_count;
  // Form1 hears of the menu's opening (Form1::HostsOperation_Opening).
  bool reports_opening = false;
};
inline constexpr MenuDesign kMenus[] = {
    {"HostsOperation",
     "Hosts",
     {{Form1Control::kOpenHostFile, "OpenHostFile", "Charger le fichier hosts"},
      {Form1Control::kReplaceHosts, "ReplaceHosts", "Remplacer le fichier hosts"},
      {Form1Control::kRestaurer, "Restaurer", "Restaurer une sauvegarde...", true}},
     3,
     true},
    {"Menu",
     "Fichier",
     {{Form1Control::kOuvrir, "Ouvrir", "Charger un fichier (format Hosts)"},
      {Form1Control::kSaveAs, "SaveAs", "Enregister sous...(format hosts)"},
      {Form1Control::kChargerDom, "ChargerDom", "Charger des noms de domaines"},
      {Form1Control::kExportDom, "ExportDom", "Exporter noms de domaines"},
      {Form1Control::kRechercher, "Rechercher", "Rechercher...", true, "Ctrl+F"}},
     5},
    {nullptr,
     nullptr,
     {{Form1Control::kReset, "Reset", "Reset"}, {Form1Control::kApropos, "Apropos", "A propos"}},
     2},
};

// The lock button's two captions; the caption is the only record of the lock state and
// always names what the next click does.
inline constexpr const char* kLockCaption = "Verouiller le fichier hosts";
inline constexpr const char* kUnlockCaption = "Deverouiller le fichier hosts";

// The key that finds the next row holding the last text looked for.
inline constexpr const char* kFindNextShortcut = "F3";

// The button column lies below the visible client area, as designed: the commands are reached
// through the menus; the buttons keep their states and their tab order. Command1, Command4
// and Command9 do nothing when clicked.
struct ButtonDesign {
  Form1Control control;
  const char* name;
  const char* caption;
  Rect place;
  bool enabled;
};
inline constexpr ButtonDesign kButtons[] = {
    {Form1Control::kCommand1, "Command1", "Charger un fichier ", {7800, 6480, 1815, 375}, true},
    {Form1Control::kCommand2, "Command2", "Trier", {7800, 7080, 1815, 495}, false},
    {Form1Control::kCommand8, "Command8", "Voir les doublons et les erreurs", {7800, 7680, 1815, 495}, false},
    {Form1Control::kCommand7, "Command7", "Enregistrer uniquement les noms de domaines", {7800, 8280, 1815, 495},
     false},
    {Form1Control::kCommand3, "Command3", "Enregistrer sous...", {7800, 8880, 1815, 495}, false},
    {Form1Control::kCommand4, "Command4", "Remplacer le fichier hosts", {7800, 9480, 1815, 495}, false},
    {Form1Control::kCommand5, "Command5", kLockCaption, {7800, 10080, 1815, 495}, true},
    {Form1Control::kCommand6, "Command6", "Charger un fichier(nom de domaines seulement)", {7800, 10680, 1815, 495},
     true},
    {Form1Control::kCommand9, "Command9", "Command9", {7800, 11640, 1215, 495}, true},
};

// The tab order: these controls in turn, with ListView1 and ListView2 between Command6 and
// Command9.
inline constexpr const char* kTabOrder[] = {"Command1", "Command2", "Command3", "Command4",  "Command5", "Command7",
                                            "Command8", "Command6", "ListView1", "ListView2", "Command9"};

}  // namespace form1_design

}  // namespace quorvale
