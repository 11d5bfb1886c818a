#include "Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

// Two folders with an arrow between them: a transfer.
void DrawTransfer(QPainter& p, const QRectF& box) {
  qreal s = box.width();
  auto folder = [&](qreal x, qreal y, const QColor& color) {
    QPainterPath path;
    path.moveTo(x, y + 0.08 * s);
    path.lineTo(x + 0.14 * s, y + 0.08 * s);
    path.lineTo(x + 0.18 * s, y + 0.13 * s);
    path.lineTo(x + 0.42 * s, y + 0.13 * s);
    path.lineTo(x + 0.42 * s, y + 0.40 * s);
    path.lineTo(x, y + 0.40 * s);
    path.closeSubpath();
    p.setPen(QPen(color.darker(160), qMax<qreal>(1.0, s / 40)));
    p.setBrush(color);
    p.drawPath(path);
  };
  folder(box.left() + 0.04 * s, box.top() + 0.04 * s, QColor(240, 200, 80));
  folder(box.left() + 0.54 * s, box.top() + 0.52 * s, QColor(120, 170, 230));
  QPen arrow(QColor(40, 120, 60), qMax<qreal>(2.0, s / 12), Qt::SolidLine, Qt::RoundCap);
  p.setPen(arrow);
  QPointF from(box.left() + 0.30 * s, box.top() + 0.58 * s);
  QPointF to(box.left() + 0.62 * s, box.top() + 0.30 * s);
  p.drawLine(from, to);
  p.drawLine(to, to + QPointF(-0.16 * s, 0.01 * s));
  p.drawLine(to, to + QPointF(-0.01 * s, 0.16 * s));
}

}  // namespace

QPixmap AppIconPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  DrawTransfer(p, QRectF(0, 0, size, size));
  return pixmap;
}

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) icon.addPixmap(AppIconPixmap(size));
  return icon;
}

QPixmap BannerPixmap(int width, int height) {
  QPixmap pixmap(width, height);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient gradient(0, 0, 0, height);
  gradient.setColorAt(0, QColor(24, 60, 130));
  gradient.setColorAt(1, QColor(70, 140, 210));
  p.fillRect(pixmap.rect(), gradient);
  int size = width * 3 / 4;
  p.drawPixmap((width - size) / 2, height / 8, AppIconPixmap(size));
  return pixmap;
}
