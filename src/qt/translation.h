#pragma once

namespace quorvale {

// Installs Qt's own French texts (standard buttons read "Oui", "Non", "Annuler"). Returns
// false when the translation is not installed on the system.
bool InstallFrenchTranslation();

}  // namespace quorvale
