// Writes the application icon, as the artwork code draws it, into PNG files for the icon theme:
// render-icons FOLDER SIZE... gives FOLDER/SIZE.png for each size.
#include <QDir>
#include <QGuiApplication>
#include <QString>
#include <cstdio>

#include "Artwork.h"

int main(int argc, char** argv) {
  // Runs during the build, where there may be no display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc < 3) {
    std::fputs("usage: render-icons FOLDER SIZE...\n", stderr);
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.mkpath(QStringLiteral("."))) return 1;
  for (int i = 2; i < argc; ++i) {
    const int size = QString::fromLatin1(argv[i]).toInt();
    const QString file = folder.filePath(QString::number(size) + QStringLiteral(".png"));
    if (size <= 0 || !AppIconPixmap(size).save(file, "PNG")) {
      std::fprintf(stderr, "render-icons: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
