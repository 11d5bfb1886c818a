#include "WizMode.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "AdvancedSettings.h"
#include "trox/TransferJob.h"

CWizMode::CWizMode(CWizContext& context) : CWizPage("transfer.htm", context) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 14, 20, 10);
  layout->addWidget(MakeTitle(QStringLiteral("Transfer Mode"), false));
  layout->addSpacing(6);
  layout->addWidget(
      MakeText(QStringLiteral("Varnook FTP can be used to send files from this computer to a "
                              "server (remote computer) or retrieve files from a server to this "
                              "computer.")));
  layout->addSpacing(8);

  // The texts under each choice stand indented, as the choice's explanation.
  auto indented = [layout](QWidget* widget) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(22, 0, 0, 0);
    row->addWidget(widget);
    layout->addLayout(row);
  };
  m_sendRadio = new QRadioButton(QStringLiteral("&Send Mode"), this);
  layout->addWidget(m_sendRadio);
  indented(
      MakeText(QStringLiteral("Send files from this computer to the server (remote computer).")));
  m_archiveCheck = new QCheckBox(QStringLiteral("&Archive Mode"), this);
  indented(m_archiveCheck);
  m_archiveText =
      MakeText(QStringLiteral("Only send files that have been modified (archive bit set)."));
  auto* archiveRow = new QHBoxLayout;
  archiveRow->setContentsMargins(44, 0, 0, 0);
  archiveRow->addWidget(m_archiveText);
  layout->addLayout(archiveRow);
  layout->addSpacing(8);

  m_getRadio = new QRadioButton(QStringLiteral("&Get Mode"), this);
  layout->addWidget(m_getRadio);
  indented(MakeText(
      QStringLiteral("Retrieve files from the server (remote computer) to this computer.")));
  layout->addStretch(1);

  auto* buttonRow = new QHBoxLayout;
  m_advanced = new QPushButton(QStringLiteral("&Advanced ..."), this);
  buttonRow->addStretch(1);
  buttonRow->addWidget(m_advanced);
  layout->addLayout(buttonRow);

  connect(m_sendRadio, &QRadioButton::clicked, this, &CWizMode::SelectSend);
  connect(m_getRadio, &QRadioButton::clicked, this, &CWizMode::SelectGet);
  connect(m_advanced, &QPushButton::clicked, this, &CWizMode::OnAdvanced);
}

void CWizMode::SetSendMode(bool send) {
  m_sendRadio->setChecked(send);
  m_getRadio->setChecked(!send);
  // Only sending reads the archive attribute; the box keeps its state for a later send.
  m_archiveCheck->setEnabled(send);
  m_archiveText->setEnabled(send);
}

void CWizMode::SelectSend() {
  SetSendMode(true);
}
void CWizMode::SelectGet() {
  SetSendMode(false);
}

void CWizMode::OnInitPage() {
  SetSendMode(true);
}

void CWizMode::OnSetActive() {
  SetWizardButtons(kWizBack | kWizNext);
  SetSendMode(m_working->m_get != 1);
  m_archiveCheck->setChecked(m_working->m_archive == 1);
}

void CWizMode::Store() {
  if (m_archiveCheck->isChecked())
    m_working->SetArchive();
  else
    m_working->ClearArchive();
  if (m_sendRadio->isChecked())
    m_working->ClearGet();
  else
    m_working->SetGet();
}

bool CWizMode::OnWizardBack() {
  Store();
  return true;
}

bool CWizMode::OnWizardNext() {
  Store();
  if (m_context.rebuildPageOrder) m_context.rebuildPageOrder(m_working->m_get == 1);
  return true;
}

void CWizMode::OnAdvanced() {
  // The radio button, not the stored mode, decides whether the permissions tab is offered.
  RunAdvancedSettings(this, *m_working, m_sendRadio->isChecked());
}
