#include "BNewFolder.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

CBNewFolder::CBNewFolder(QWidget* parent) : CModalDialog(parent) {
  setWindowTitle(QStringLiteral("New Folder"));
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(QStringLiteral("Enter a name for the new folder:"), this);
  m_nameEdit = new QLineEdit(this);
  m_nameEdit->setMinimumWidth(260);
  label->setBuddy(m_nameEdit);
  layout->addWidget(label);
  layout->addWidget(m_nameEdit);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CBNewFolder::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CBNewFolder::reject);
  layout->addWidget(buttons);
}

bool CBNewFolder::OnOK() {
  m_name = m_nameEdit->text().toStdString();
  if (m_name.empty()) {
    CDialogHost::Get().MessageBox(this, "No folder name entered!", "Varnook FTP", MsgIcon::Error);
    return false;
  }
  return true;
}

void CBNewFolder::TypeText(const QString& text) {
  m_nameEdit->setText(text);
}
