#pragma once

#include <QWidget>

class QLabel;
class QTimer;

namespace quorvale {

struct Session;

// The progress window shown while a file loads: a fixed text and a counter that shows the
// session's EntriesLoaded ten times a second. It only reads the count.
class Form3 : public QWidget {
  Q_OBJECT

 public:
  explicit Form3(const Session& session, QWidget* parent = nullptr);
  ~Form3() override;

  // Shows the window modeless in the centre of the screen and starts the counter.
  void Open();

 private:
  void Tick();

  const Session& session_;
  QLabel* label1_;
  QLabel* label2_;
  QTimer* timer1_;
};

}  // namespace quorvale
