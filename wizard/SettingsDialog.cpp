#include "SettingsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "HelpTopics.h"

CSettingsDialog::CSettingsDialog(QWidget* parent) : CModalDialog(parent) {
  setWindowTitle(QStringLiteral("Varnook FTP Settings"));
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox(QStringLiteral("Server Most Recently Used (MRU) List:"), this);
  auto* row = new QHBoxLayout(group);
  m_mruCheck = new QCheckBox(QStringLiteral("&Enable Server MRU List"), group);
  auto* clear = new QPushButton(QStringLiteral("&Clear List"), group);
  row->addWidget(m_mruCheck, 1);
  row->addWidget(clear);
  layout->addWidget(group);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  QPushButton* help = buttons->addButton(QStringLiteral("&Help"), QDialogButtonBox::HelpRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &CSettingsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CSettingsDialog::reject);
  connect(help, &QPushButton::clicked, this, &CSettingsDialog::OnHelp);
  connect(clear, &QPushButton::clicked, this, &CSettingsDialog::OnClearList);
  layout->addWidget(buttons);
  setMinimumWidth(380);
}

void CSettingsDialog::OnInitDialog() {
  m_serverMruEnabled = m_settings.GetServerMruEnabled() != 0 ? 1 : 0;
  m_mruCheck->setChecked(m_serverMruEnabled == 1);
}

bool CSettingsDialog::OnOK() {
  m_serverMruEnabled = m_mruCheck->isChecked() ? 1 : 0;
  m_settings.SetServerMruEnabled(m_serverMruEnabled);
  return true;
}

void CSettingsDialog::OnClearList() {
  ClearServerMru();
  CDialogHost::Get().MessageBox(this, "Server MRUs deleted.", "Varnook FTP", MsgIcon::Information,
                                MsgButtons::Ok);
}

void CSettingsDialog::OnHelp() {
  OpenHelpTopic("settings.htm");
}
