// The program's pictures, drawn rather than shipped: the application icon and the tall banner
// along the left edge of the welcome and final pages.
#pragma once

#include <QIcon>
#include <QPixmap>

QPixmap AppIconPixmap(int size);
QIcon AppIcon();
QPixmap BannerPixmap(int width, int height);
