// ProgressPanel: the window's 3-D panel that shows how far a combine has
// come, as a flood fill from the left and its percentage in the middle.
//
// A combine runs inside the click on Go and does not return to the event
// loop between its passes, so setPercent() paints the new value at once
// when the panel is visible, rather than waiting for the next paint event.

#pragma once

#include <QFrame>

namespace kestrova::app {

class ProgressPanel final : public QFrame {
 public:
  explicit ProgressPanel(QWidget* parent = nullptr);

  // 0 to 100; values outside are held to the nearer end.
  void setPercent(int percent);
  int percent() const { return percent_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int percent_ = 0;
};

}  // namespace kestrova::app
