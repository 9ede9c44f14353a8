#pragma once

#include <QPointer>
#include <QWidget>

#include "forms/prompts.h"

namespace quorvale {

// The message boxes and file dialogs of Qt, over the window that is modal at the time (else
// the owner given).
class QtPrompts : public Prompts {
 public:
  void SetOwner(QWidget* owner) { owner_ = owner; }

  Answer Message(const std::string& text, Buttons buttons, Icon icon, const std::string& title,
                 const std::string& detail) override;
  std::string OpenFileName(const std::string& title, const std::string& folder, const std::vector<FileFilter>& filters,
                           int* filter_index) override;
  std::string SaveFileName(const std::string& title, const std::string& folder, const std::vector<FileFilter>& filters,
                           int* filter_index) override;

 private:
  QWidget* Parent() const;

  QPointer<QWidget> owner_;
};

}  // namespace quorvale
