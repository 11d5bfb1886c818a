#include "AboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "Artwork.h"
#include "trox-tools/TroxTools.h"

CAboutDlg::CAboutDlg(QWidget* parent) : CModalDialog(parent) {
  setWindowTitle(QStringLiteral("About TROX Wizard"));
  auto* layout = new QHBoxLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(AppIconPixmap(32));
  icon->setAlignment(Qt::AlignTop);
  layout->addWidget(icon);
  auto* column = new QVBoxLayout;
  column->addWidget(new QLabel(QStringLiteral("TROX Wizard Version 1.0"), this));
  column->addWidget(new QLabel(
      QStringLiteral("TROX Tools Version %1").arg(QLatin1String(pszTROX_TOOLS_GetVersion())),
      this));
  column->addStretch(1);
  layout->addLayout(column, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, Qt::Vertical, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CAboutDlg::accept);
  layout->addWidget(buttons);
}
