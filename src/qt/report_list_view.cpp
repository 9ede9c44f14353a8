#include "qt/report_list_view.h"

#include <QKeyEvent>

namespace quorvale {

ReportListView::ReportListView(QWidget* parent) : QTableView(parent) {
  setShowGrid(false);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  // Tab leaves the list, as it leaves any other control of the window.
  setTabKeyNavigation(false);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  verticalHeader()->hide();
  // Rows as high as a line of text, every one the same.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height());
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setHighlightSections(false);
}

void ReportListView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
    emit DeletePressed();
    return;
  }
  QTableView::keyPressEvent(event);
}

}  // namespace quorvale
