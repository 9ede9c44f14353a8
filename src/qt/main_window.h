#pragma once

#include <QMainWindow>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "forms/main_form.h"
#include "qt/report_list_view.h"

class QAction;
class QLabel;
class QPushButton;

namespace quorvale {

class EntryModel;

// The main window on Qt: the two lists, the status text, the menus and the button column as
// MainForm designs them. It shows what MainForm tells it and hands it the user's clicks.
class MainWindow : public QMainWindow, public MainView {
  Q_OBJECT

 public:
  // Builds the window and runs MainForm's first steps.
  explicit MainWindow(MainForm& form, QWidget* parent = nullptr);
  ~MainWindow() override;

  MainForm& form() { return form_; }

  // MainView.
  void SetStatusText(const std::string& text) override;
  void SetControlEnabled(MainControl control, bool enabled) override;
  void SetControlCaption(MainControl control, const std::string& caption) override;
  void SetWindowEnabled(bool enabled) override;
  void SetWindowVisible(bool visible) override;
  void ListChanged(int list_number) override;
  void ShowSortOrder(int list_number, Column column, SortDirection direction) override;
  std::vector<size_t> SelectedRows(int list_number) const override;
  size_t SelectedRowCount(int list_number) const override;
  void SelectRow(int list_number, size_t row) override;
  void ProcessEvents() override;
  void Close() override;
  void Quit(int exit_code) override;
  void RunOptionsWindow(OptionsForm& form) override;
  void RunAboutWindow(AboutForm& form) override;
  void RunSearchWindow(SearchForm& form) override;
  void RunBackupsWindow(BackupsForm& form) override;
  void RunSourcesWindow(SourcesForm& form) override;
  void RunWhyWindow(WhyForm& form) override;
  std::unique_ptr<ProgressView> OpenProgressWindow(ProgressForm& form) override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Files dragged from a file manager load as "Charger un fichier (format Hosts)" loads.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildMenus();
  void BuildButtons();
  ReportListView* BuildList(const char* name, EntryModel* model, int list_number);
  ReportListView* List(int list_number) const { return list_number == 1 ? blocked_list_ : redirected_list_; }

  MainForm& form_;
  EntryModel* blocked_model_ = nullptr;
  EntryModel* redirected_model_ = nullptr;
  ReportListView* blocked_list_ = nullptr;
  ReportListView* redirected_list_ = nullptr;
  QLabel* status_label_ = nullptr;
  // Each control is a menu item or a button.
  std::array<QAction*, kMainControlCount> actions_{};
  std::array<QPushButton*, kMainControlCount> buttons_{};
};

}  // namespace quorvale
