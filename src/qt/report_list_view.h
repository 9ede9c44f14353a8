#pragma once

#include <QHeaderView>
#include <QTableView>

namespace quorvale {

// A list of rows in columns, as the window's two lists show them: a header to click, whole
// rows selected (several with Shift and Ctrl), no grid and no row numbers. It is a table view because a table view keeps
// nothing per row: a list of a million rows costs neither memory nor a pause when it is
// filled or reordered (a tree view lays out every row again each time).
class ReportListView : public QTableView {
  Q_OBJECT

 public:
  explicit ReportListView(QWidget* parent);

  QHeaderView* header() const { return horizontalHeader(); }

 signals:
  // The Delete key was pressed in the list.
  void DeletePressed();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace quorvale
