#include "app/qt/window_progress_panel.h"

#include <QPainter>
#include <algorithm>

namespace kestrova::app {

ProgressPanel::ProgressPanel(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(2);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void ProgressPanel::setPercent(int percent) {
  percent_ = std::clamp(percent, 0, 100);
  if (isVisible()) {
    repaint();
  } else {
    update();
  }
}

void ProgressPanel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  const QRect inside = contentsRect();
  const QString text = QString::number(percent_) + u'%';
  const int fillWidth = inside.width() * percent_ / 100;
  const QRect filled(inside.left(), inside.top(), fillWidth, inside.height());
  const QRect empty(inside.left() + fillWidth, inside.top(), inside.width() - fillWidth, inside.height());

  // The figure reads in the fill's colours where the fill has reached it and
  // in the panel's colours beyond, as it crosses the edge of the fill.
  painter.fillRect(empty, palette().color(QPalette::Button));
  painter.setPen(palette().color(QPalette::ButtonText));
  painter.setClipRect(empty);
  painter.drawText(inside, Qt::AlignCenter, text);

  painter.setClipRect(filled);
  painter.fillRect(filled, palette().color(QPalette::Highlight));
  painter.setPen(palette().color(QPalette::HighlightedText));
  painter.drawText(inside, Qt::AlignCenter, text);
}

}  // namespace kestrova::app
