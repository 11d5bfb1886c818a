#include "Hyperlink.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>

#include "DialogHost.h"

namespace {

// Sits in front of the label and takes only the left click.
class CHyperlinkFilter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::MouseButtonPress) return false;
    if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return false;
    auto* label = static_cast<QLabel*>(watched);
    CDialogHost::Get().OpenUrl(label->text().toStdString());
    return true;
  }
};

}  // namespace

void MakeHyperlink(QLabel* label) {
  if (!label || label->property("hyperlink").toBool()) return;
  label->setProperty("hyperlink", true);
  // Plain text: the address is shown as it is, never read as markup or followed by the label.
  label->setTextFormat(Qt::PlainText);
  label->setTextInteractionFlags(Qt::NoTextInteraction);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
  label->setPalette(palette);
  QFont font = label->font();
  font.setUnderline(true);
  label->setFont(font);
  label->setCursor(Qt::PointingHandCursor);
  label->installEventFilter(new CHyperlinkFilter(label));
}
