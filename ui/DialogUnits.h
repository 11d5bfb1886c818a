// Layouts given in dialog units, as the dialogs' resources give them: a unit is a quarter of the
// font's average character width across, an eighth of its height down.
#pragma once

#include <QFontMetrics>
#include <QRect>
#include <QWidget>

inline QRect DialogUnitRect(const QWidget& widget, int x, int y, int width, int height) {
  QFontMetrics metrics(widget.font());
  const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int baseX = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
  const int baseY = metrics.height();
  auto px = [&](int dlu) { return dlu * baseX / 4; };
  auto py = [&](int dlu) { return dlu * baseY / 8; };
  return QRect(px(x), py(y), px(width), py(height));
}
