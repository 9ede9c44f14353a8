#pragma once

namespace quorvale::texts {

// The program's own texts that several windows or commands share, exactly as the user sees
// them (UTF-8).
inline constexpr const char* kTitle = "Quorvale";
inline constexpr const char* kTextFiles = "Fichiers Texte (.txt)";
inline constexpr const char* kTextPattern = "*.txt";
inline constexpr const char* kAllFiles = "Tous les fichiers (*.*)";
inline constexpr const char* kAllPattern = "*";
inline constexpr const char* kConfirmation = "Confirmation";
inline constexpr const char* kSaveFailed = "Echec! le fichier n'a pas pu etre enregistre.";
inline constexpr const char* kFileSaved = "Fichier enregistre";
inline constexpr const char* kOverwrite = "Le fichier existe deja, voulez vous l'ecraser ?";
inline constexpr const char* kIncludeComments = "Voulez vous inclure les commentaire ?";
inline constexpr const char* kLoading = "Chargement en cours...";
inline constexpr const char* kLoadFirst = "vous devez d'abord charger un ficher d'adresse!";
inline constexpr const char* kHostsReplaced = "Fichier hosts remplace";
inline constexpr const char* kReplaceBusy = "un autre remplacement est en cours";
inline constexpr const char* kNoMemory = "Memoire insuffisante pour charger ce fichier.";

// A step that needs administrator rights: the user cancelled or was refused them, or they
// cannot be asked for here (the detail then goes on with the command that does the same).
inline constexpr const char* kAuthenticationRefused = "Authentification refusee ou annulee.";
inline constexpr const char* kRightsNeeded =
    "Droits d'administrateur necessaires, et ils ne peuvent pas etre demandes ici. Meme operation: ";
// The HOSTS file the window works on is not the system's (a test tree's, say): the helper
// would write the system's, so the rights are not asked for.
inline constexpr const char* kNotSystemHosts =
    "Le fichier hosts affiche n'est pas celui du systeme: les droits d'administrateur ne peuvent pas etre "
    "demandes pour lui.";
// On Windows every step is asked for through UAC, but only for a quorvale-helper.exe that
// non-administrators cannot change: the detail says how to get there.
inline constexpr const char* kRightsNeededWindows =
    "Droits d'administrateur necessaires, et ils ne peuvent pas etre demandes ici: Quorvale ne les demande que "
    "pour un quorvale-helper.exe place dans un dossier que seuls les administrateurs peuvent modifier. Installez "
    "Quorvale avec l'installateur MSI, ou decompressez-le dans Program Files, ou lancez la meme operation dans une "
    "console d'administrateur: ";

}  // namespace quorvale::texts
