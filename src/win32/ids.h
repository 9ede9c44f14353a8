#pragma once

#include <windows.h>

#include "forms/main_form_design.h"

// The identifiers of the program's resources, and of its windows' controls and commands, all
// here. The controls of each window number from their own hundred; IDOK and IDCANCEL are the
// commands that the dialog manager sends for Enter and Escape, so a window gives them to the
// buttons that those keys press and to no other control.
namespace quorvale {

// The program's icon in its resources (quorvale.rc.in).
inline constexpr int kIconId = 1;

namespace form1_ids {
// A menu item or button has the id of its MainControl, counted from kFirstControl.
inline constexpr int kFirstControl = 100;
constexpr int Of(MainControl control) { return kFirstControl + static_cast<int>(control); }
inline constexpr int kListView1 = 300;
inline constexpr int kListView2 = 301;
inline constexpr int kLabel1 = 302;
// The command of the key that finds the next row.
inline constexpr int kFindNext = 303;
}  // namespace form1_ids

namespace form2_ids {
inline constexpr int kCheck1 = 201;
inline constexpr int kCheck2 = 202;
inline constexpr int kCheck3 = 203;
inline constexpr int kCommand1 = 204;
inline constexpr int kCommand2 = 205;
inline constexpr int kLabel1 = 206;
}  // namespace form2_ids

namespace about_ids {
inline constexpr int kOk = IDOK;
inline constexpr int kSysInfo = 401;
inline constexpr int kImage1 = 402;
inline constexpr int kTitle = 403;
inline constexpr int kVersion = 404;
inline constexpr int kDescription = 405;
inline constexpr int kLabel4 = 406;
inline constexpr int kLabel3 = 407;
// The separators above and below the credits.
inline constexpr int kLine1 = 408;
inline constexpr int kLine2 = 409;
// The links, in the order of AboutForm::kLinks.
inline constexpr int kFirstLink = 410;
}  // namespace about_ids

namespace search_ids {
inline constexpr int kText1 = 501;
inline constexpr int kLabel1 = 502;
inline constexpr int kCommand1 = IDOK;
inline constexpr int kCommand2 = IDCANCEL;
}  // namespace search_ids

namespace backups_ids {
inline constexpr int kList1 = 601;
inline constexpr int kCommand1 = IDOK;
inline constexpr int kCommand2 = IDCANCEL;
}  // namespace backups_ids

namespace form3_ids {
inline constexpr int kLabel1 = 701;
inline constexpr int kLabel2 = 702;
}  // namespace form3_ids

}  // namespace quorvale
