#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "forms/main_form.h"
#include "support/fake_platform.h"
#include "support/fake_views.h"
#include "support/scripted_prompts.h"
#include "support/test_files.h"

namespace quorvale::testing {

using Answer = Prompts::Answer;

// The texts the main window's commands show most, as Describe words them.
inline const std::string kNothingLoadedLine = "vous devez d'abord charger un ficher d'adresse! | OK | none | Quorvale";
inline const std::string kOverwriteLine =
    "Le fichier existe deja, voulez vous l'ecraser ? | OK/Cancel | none | Confirmation";
inline const std::string kCommentsLine = "Voulez vous inclure les commentaire ? | Yes/No | none | Quorvale";
inline const std::string kSavedLine = "Fichier enregistre | OK | none | Quorvale";
inline const std::string kFailedLine = "Echec! le fichier n'a pas pu etre enregistre. | OK | critical | Quorvale";
inline constexpr char kReportHead[] = "Liste des erreurs: \r\n\r\n\r\n";
inline constexpr char kReportTail[] =
    "---------------------------------\r\n---------------------------------\r\n\r\n\r\n";

// A message box as one readable line: "text | buttons | icon | title".
std::string Describe(const ScriptedPrompts::Shown& shown);
// The windows on screen: "main+progress", "main", "progress" or "".
std::string Screen(const FakeMainView& view);

// The main window's behaviour over a fake view, with the program and the HOSTS file in a
// fresh folder and the header's date fixed.
class MainFormTest : public ::testing::Test {
 protected:
  MainFormTest();
  ~MainFormTest() override;

  std::string Path(std::string_view name) const { return dir_.File(name); }
  std::string Report() const { return ReadBytes(Path("Rapport.txt")); }
  // The rows of list 1 or 2, top to bottom, as "name|description|address".
  std::vector<std::string> Rows(int list_number) const;
  std::vector<std::string> Buffer() const;
  // Every message shown so far, as Describe words them.
  std::vector<std::string> Messages() const;
  // Whether a load has been counted, as the commands that need one see it: the save of the
  // sort buffer's names asks for its file (cancelled here) instead of refusing. The prompts'
  // record is left as it was.
  bool LoadCounted();

  void ChooseFile(const std::string& path, int filter_index = -1) { prompts_.files.push_back({path, filter_index}); }
  void CancelDialog() { prompts_.files.push_back({}); }
  // Writes `content` to `name` and loads it through the command `click`, the open dialog
  // answering with its path.
  void LoadThrough(void (MainForm::*click)(), const char* name, std::string_view content);
  // Writes `content` as the HOSTS file and loads it through "Charger le fichier hosts".
  void LoadHosts(std::string_view content);

  ScopedEnv epoch_{"SOURCE_DATE_EPOCH", "1700000000"};
  TempDir dir_;
  FakePlatform platform_;
  ScriptedPrompts prompts_;
  FakeMainView view_;
  MainForm form_{platform_, prompts_};
};

}  // namespace quorvale::testing
