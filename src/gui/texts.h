#pragma once

#include <QString>

namespace quorvale::texts {

// The program's own texts that several commands share, exactly as the user sees them.
inline const QString kTextFiles = QStringLiteral("Fichiers Texte (.txt)");
inline const QString kTextPattern = QStringLiteral("*.txt");
inline const QString kConfirmation = QStringLiteral("Confirmation");
inline const QString kSaveFailed = QStringLiteral("Echec! le fichier n'a pas pu etre enregistre.");
inline const QString kFileSaved = QStringLiteral("Fichier enregistre");
inline const QString kOverwrite = QStringLiteral("Le fichier existe deja, voulez vous l'ecraser ?");
inline const QString kIncludeComments = QStringLiteral("Voulez vous inclure les commentaire ?");
inline const QString kLoading = QStringLiteral("Chargement en cours...");
inline const QString kLoadFirst = QStringLiteral("vous devez d'abord charger un ficher d'adresse!");
inline const QString kNoMemory = QStringLiteral("Memoire insuffisante pour charger ce fichier.");

}  // namespace quorvale::texts
