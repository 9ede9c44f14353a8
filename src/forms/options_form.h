#pragma once

#include <vector>

#include "forms/design.h"

namespace quorvale {

struct Session;

enum class OptionsBox { kWwwLines, kLoopbackAddress, kZeroAddress };

// What OptionsForm asks of the options window of a window program. The boxes change their own
// state when the user clicks them, before the click is reported.
class OptionsView {
 public:
  virtual ~OptionsView() = default;
  virtual bool IsChecked(OptionsBox box) const = 0;
  virtual void SetChecked(OptionsBox box, bool checked) = 0;
  // Closes the modal window.
  virtual void Close() = 0;
};

// The options window: the redirection address ("127.0.0.1" or "0.0.0.0", an exclusive pair
// of check boxes) and the "www." lines. "OK" stores the choice in the session, "Annuler"
// only records the refusal, the close box changes nothing; Enter and Escape do nothing. A new
// window is made for every opening, so it always starts from its design state.
class OptionsForm {
 public:
  explicit OptionsForm(Session& session) : session_(session) {}

  void Start(OptionsView* view);
  void LoopbackBoxClicked();
  void ZeroBoxClicked();
  void Accept();  // "OK"
  void Cancel();  // "Annuler"

 private:
  Session& session_;
  OptionsView* view_ = nullptr;
};

// OptionsForm as it is designed.
namespace options_form_design {

inline constexpr const char* kCaption = "Options";
// The window: 5430 x 1845 twips. The controls' sizes were made for an 8-point font; where
// the system's font is wider, a control grows to the right to show its whole text, the
// controls after it on its row move right so that none overlaps another, and the window
// widens.
inline constexpr int kWidthTwips = 5430;
inline constexpr int kHeightTwips = 1845;
inline constexpr int kFontPoints = 8;

struct ControlDesign {
  const char* name;
  const char* caption;
  Rect place;  // twips
};
inline constexpr ControlDesign kAddressLabel = {
    "Label1", "Choisissez l'adresse de redirection:", {240, 360, 2655, 255}};
inline constexpr ControlDesign kLoopbackBox = {"Check2", "127.0.0.1", {3120, 360, 975, 255}};
inline constexpr ControlDesign kZeroBox = {"Check3", "0.0.0.0", {4440, 360, 855, 255}};
inline constexpr ControlDesign kWwwBox = {
    "Check1", "Ajouter une ligne avec www. pour chaque entree", {240, 840, 3855, 255}};
inline constexpr ControlDesign kOkButton = {"Command1", "OK", {1440, 1320, 1095, 375}};
inline constexpr ControlDesign kCancelButton = {"Command2", "Annuler", {2880, 1320, 1095, 375}};
// The tab order; the focus starts on the first.
inline constexpr const char* kTabOrder[] = {"Check1", "Check2", "Check3", "Command1", "Command2"};

// The least room between two controls of a row, and between the last one and the window's
// edge, in pixels at 96 dpi.
inline constexpr int kControlGap = 8;

// A control that shows a text of its own: its place in pixels, and the width its text needs
// with the window's font.
struct TextControl {
  Rect place;
  int text_width;
};
// Fits the controls to their texts as said above: rows are the controls of one top, taken
// from left to right; each control moves right of the one before it (at least `gap` pixels
// away) and widens to its text. Returns the window's width that holds every row with `gap`
// to spare, at least `window_width`.
int FitTexts(std::vector<TextControl>* controls, int window_width, int gap);

}  // namespace options_form_design

}  // namespace quorvale
