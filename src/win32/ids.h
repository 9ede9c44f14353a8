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

namespace main_ids {
// A menu item or button has the id of its MainControl, counted from kFirstControl.
inline constexpr int kFirstControl = 100;
constexpr int Of(MainControl control) { return kFirstControl + static_cast<int>(control); }
inline constexpr int kBlockedList = 300;
inline constexpr int kRedirectedList = 301;
inline constexpr int kStatusLabel = 302;
// The command of the key that finds the next row.
inline constexpr int kFindNext = 303;
}  // namespace main_ids

namespace options_ids {
inline constexpr int kWwwBox = 201;
inline constexpr int kLoopbackBox = 202;
inline constexpr int kZeroBox = 203;
inline constexpr int kOkButton = 204;
inline constexpr int kCancelButton = 205;
inline constexpr int kAddressLabel = 206;
}  // namespace options_ids

namespace about_ids {
inline constexpr int kOk = IDOK;
inline constexpr int kSysInfo = 401;
inline constexpr int kIcon = 402;
inline constexpr int kTitle = 403;
inline constexpr int kVersion = 404;
inline constexpr int kDescription = 405;
inline constexpr int kAuthorCaption = 406;
inline constexpr int kCreditsCaption = 407;
// The separators above and below the credits.
inline constexpr int kLine1 = 408;
inline constexpr int kLine2 = 409;
// The links, in the order of AboutForm::kLinks.
inline constexpr int kFirstLink = 410;
}  // namespace about_ids

namespace search_ids {
inline constexpr int kTextField = 501;
inline constexpr int kPrompt = 502;
inline constexpr int kOkButton = IDOK;
inline constexpr int kCancelButton = IDCANCEL;
}  // namespace search_ids

namespace backups_ids {
inline constexpr int kCopiesList = 601;
inline constexpr int kRestoreButton = IDOK;
inline constexpr int kCancelButton = IDCANCEL;
}  // namespace backups_ids

namespace progress_ids {
inline constexpr int kHeading = 701;
inline constexpr int kCount = 702;
}  // namespace progress_ids

// The Sources window (frmSources) and the windows it opens; each control's object name after it.
namespace sources_ids {
inline constexpr int kList = 801;  // lvSources
inline constexpr int kAddButton = 802;  // cmdAjouter
inline constexpr int kEditButton = 803;  // cmdModifier
inline constexpr int kRemoveButton = 804;  // cmdSupprimer
inline constexpr int kUpdateButton = 805;  // cmdMettreAJour
inline constexpr int kAllowedNamesButton = 806;  // cmdNomsAutorises
inline constexpr int kCloseButton = IDCANCEL;  // cmdFermer
inline constexpr int kCancelButton = 807;  // cmdAnnuler
inline constexpr int kDailyBox = 808;  // chkQuotidien
inline constexpr int kSummary = 809;  // lblResume
}  // namespace sources_ids

namespace source_editor_ids {
inline constexpr int kAddressLabel = 901;
inline constexpr int kAddressField = 902;  // txtAdresse
// One option a kind, from this id on, in the order of kSourceKinds (their object names in
// SourceEditorForm::kKindCaptions: optHosts, optDomaines).
inline constexpr int kFirstKindOption = 903;
inline constexpr int kOkButton = IDOK;  // cmdOK
inline constexpr int kCancelButton = IDCANCEL;  // cmdAnnuler
}  // namespace source_editor_ids

namespace allowed_names_ids {
inline constexpr int kNamesList = 1001;  // lstNoms
inline constexpr int kRemoveButton = 1002;  // cmdRetirer
inline constexpr int kCloseButton = IDCANCEL;  // cmdFermer
}  // namespace allowed_names_ids

namespace why_ids {
inline constexpr int kText = 1101;  // txtPourquoi
inline constexpr int kAllowButton = 1102;  // cmdAutoriser
inline constexpr int kCloseButton = IDCANCEL;  // cmdFermer
}  // namespace why_ids

}  // namespace quorvale
