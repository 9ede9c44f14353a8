#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quorvale {

// What WhyForm asks of its window.
class WhyView {
 public:
  virtual ~WhyView() = default;
  virtual void Close() = 0;
};

// "Pourquoi ce nom ?": where a name of the lists comes from, as the command line's --why
// says it, one line each, with "Autoriser ce nom" (the name goes into allow.txt and out of
// the lists) and "Fermer", the default button: Enter never allows a name. A name of own.txt
// is the user's own line, which allow.txt would drop from every update: it is not offered.
class WhyForm {
 public:
  static constexpr const char* kCaption = "Pourquoi ce nom ?";
  // The captions of the buttons, "&" before each one's access key.
  static constexpr const char* kCaptions[] = {"&Autoriser ce nom", "&Fermer"};
  static constexpr int kAllowButton = 0;
  static constexpr int kCloseButton = 1;

  WhyForm(std::string name, std::vector<std::string> lines, bool allow_offered = true)
      : name_(std::move(name)), lines_(std::move(lines)), allow_offered_(allow_offered) {}

  void Start(WhyView* view) { view_ = view; }
  // Does nothing when the name is not offered.
  void Allow() {
    if (!allow_offered_) return;
    allowed_ = true;
    view_->Close();
  }
  void CloseWindow() { view_->Close(); }

  const std::string& name() const { return name_; }
  const std::vector<std::string>& lines() const { return lines_; }
  // Whether "Autoriser ce nom" is enabled.
  bool allow_offered() const { return allow_offered_; }
  // Whether the window was left with "Autoriser ce nom".
  bool allowed() const { return allowed_; }

 private:
  WhyView* view_ = nullptr;
  std::string name_;
  std::vector<std::string> lines_;
  bool allow_offered_;
  bool allowed_ = false;
};

}  // namespace quorvale
