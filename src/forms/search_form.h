#pragma once

#include <string>

namespace quorvale {

// What SearchForm asks of the find window of a window program.
class SearchView {
 public:
  virtual ~SearchView() = default;
  // What the user typed in the text field.
  virtual std::string Text() const = 0;
  // Closes the modal window.
  virtual void Close() = 0;
};

// The find window: a text field with its label before it on its row, "OK" and "Annuler" under
// them. "OK" keeps the text to look for; "Annuler", Escape and the close box leave nothing to
// look for.
class SearchForm {
 public:
  static constexpr const char* kCaption = "Rechercher";
  static constexpr const char* kPromptCaption = "Nom a rechercher :";
  static constexpr const char* kOkCaption = "OK";
  static constexpr const char* kCancelCaption = "Annuler";
  // The text field's width, in average characters of the window's font.
  static constexpr int kTextFieldChars = 40;

  void Start(SearchView* view) { view_ = view; }
  void Accept();  // "OK"
  void Cancel();  // "Annuler"

  // The text to look for; "" when the window was left without "OK" or with an empty field.
  const std::string& text() const { return text_; }

 private:
  SearchView* view_ = nullptr;
  std::string text_;
};

}  // namespace quorvale
