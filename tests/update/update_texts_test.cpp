#include "update/update_texts.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "core/download.h"
#include "core/source_copy.h"
#include "support/fake_platform.h"
#include "update/source_update.h"

namespace quorvale {
namespace {

SourceFailure DownloadFailureOf(DownloadFailure download, const DownloadLimits& limits, std::string detail) {
  SourceFailure failure;
  failure.download = download;
  failure.http_status = 404;
  failure.limits = limits;
  failure.detail = std::move(detail);
  return failure;
}

TEST(SourceFailureText, NamesEachDownloadFailureWithItsLimit) {
  const DownloadLimits defaults;
  const DownloadLimits small{1500, 2000, 61'000, 3, 1000};
  using enum DownloadFailure;
  const std::tuple<DownloadFailure, const DownloadLimits*, std::string, std::string> cases[] = {
      {kResolve, &defaults, "", "nom d'hote introuvable"}, {kConnect, &defaults, "refused", "connexion impossible"},
      {kConnectTimeout, &defaults, "", "pas de connexion apres 10 s"},
      {kConnectTimeout, &small, "", "pas de connexion apres 1500 ms"},
      {kStalled, &defaults, "", "aucun octet recu pendant 30 s"},
      {kTooLong, &small, "", "telechargement trop long (plus de 61 s)"},
      {kTooManyRedirects, &small, "", "trop de redirections (plus de 3)"},
      {kInsecureRedirect, &defaults, "", "redirection de https vers http refusee"},
      {kTooBig, &defaults, "", "fichier trop gros (plus de 256 Mo)"},
      {kTooBig, &small, "", "fichier trop gros (plus de 1000 octets)"},
      {kCertificate, &defaults, "expired", "certificat refuse: expired"},
      {kCertificate, &defaults, "", "certificat refuse"}, {kHttpStatus, &small, "", "reponse HTTP 404"},
      {kTruncated, &defaults, "", "reponse incomplete (connexion coupee)"},
      {kBadEncoding, &defaults, "", "contenu compresse illisible"}, {kCancelled, &defaults, "", "annule"},
      {kNoMemory, &defaults, "", "memoire insuffisante"},
      {kOther, &small, "", "erreur inconnue"}, {kOther, &small, "disque plein", "disque plein"},
      {kNotStored, &small, "disque plein", "copie impossible a enregistrer: disque plein"}};
  for (const auto& [download, limits, detail, text] : cases) {
    EXPECT_EQ(SourceFailureText(DownloadFailureOf(download, *limits, detail)), text);
  }
}

TEST(NewBody, IsTakenOnlyWhenItLooksLikeAListOfItsKind) {
  // The body's start (given a byte at a time), its Content-Type, entries, the last copy's, why refused.
  const std::tuple<std::string, std::string, std::int64_t, std::int64_t, std::string> cases[] = {
      {"\xEF\xBB\xBF \r\n\t<!DOCTYPE html>", "text/html; charset=utf-8", 0, 10, "page HTML au lieu d'une liste (text/html)"},
      {"<html>", "", 5, -1, "page HTML au lieu d'une liste"},
      {"\xEF\xBB<html>", "text/html", 5, -1, ""},
      {"# <html>\n", "text/html", 0, -1, "aucune entree"},
      {"", "", 0, 10, "aucune entree"},
      {"0.0.0.0 a", "", 12, 6540, "12 entrees au lieu de 6540 (moins de la moitie)"},
      {"0.0.0.0 a", "", 3270, 6540, ""},
      {"0.0.0.0 a", "", 2, 5, "2 entrees au lieu de 5 (moins de la moitie)"},
      {"0.0.0.0 a", "", 3, 5, ""}};
  for (const auto& [start, type, entries, last_entries, reason] : cases) {
    BodyStartWatch watch;
    for (char c : start) watch.See(std::string_view(&c, 1));
    SourceFailure refused;
    refused.kind = SourceFailure::Kind::kRefused;
    refused.body = NewBody{watch.StartsLikeHtml(), type, entries, last_entries};
    refused.verdict = JudgeNewBody(refused.body);
    EXPECT_EQ(SourceFailureText(refused), reason) << start;
  }
}

// The failures of a source are said in French, one after the other, and so is a cache that
// the platform does not have.
TEST(SourceOutcomeText, SaysEveryFailureInFrench) {
  SourceResult result;
  result.failures = {DownloadFailureOf(DownloadFailure::kResolve, {}, ""), SourceFailure{}};
  result.failures[1].kind = SourceFailure::Kind::kUnreadableCopy;
  EXPECT_EQ(SourceOutcomeText(result), "echec: nom d'hote introuvable; copie du cache illisible (aucune copie)");
  testing::FakePlatform platform;
  EXPECT_EQ(SaveWrittenFiles(platform, UpdatePlaces{}, {}).ToString(), "pas de dossier de cache");
}

}  // namespace
}  // namespace quorvale
