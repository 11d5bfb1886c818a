#include "WizFinal.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "Hyperlink.h"
#include "LogViewer.h"
#include "WebAddresses.h"
#include "trox/TransferJob.h"

std::string TransferStatusText(int status) {
  switch (status) {
    case 0:
      return "Transfer incomplete - click Back to adjust settings.";
    case 1:
      return "Transfer completed sucessfully. Click Finish to exit the Wizard.";
    case 2:
      return "Transfer failed. Click Finish to exit the wizard or Back to adjust settings.";
    case 3:
      return "Transfer cancelled. Click Finish to exit the wizard or Back to adjust settings.";
    default:
      return "Status unknown - click Finish to exit the Wizard.";
  }
}

CWizFinal::CWizFinal(CWizContext& context) : CWizExteriorPage("complete.htm", context) {
  QVBoxLayout* content = ContentLayout();
  content->addWidget(MakeTitle(QStringLiteral("Completing the Varnook FTP Wizard"), true));
  content->addSpacing(16);
  m_statusLabel = MakeText(QString());
  content->addWidget(m_statusLabel);
  content->addSpacing(12);
  m_updateLabel = MakeText(QString());
  content->addWidget(m_updateLabel);
  m_downloadLink = new QLabel(QString::fromLatin1(kDownloadPageAddress), this);
  content->addWidget(m_downloadLink, 0, Qt::AlignLeft);
  content->addSpacing(12);
  auto* logRow = new QHBoxLayout;
  m_viewLog = new QPushButton(QStringLiteral("&View Log"), this);
  logRow->addWidget(m_viewLog);
  logRow->addStretch(1);
  content->addLayout(logRow);
  content->addStretch(1);
  content->addWidget(
      MakeText(QStringLiteral("Visit the Varnook web site for news, help and other tools:")));
  m_webLink = new QLabel(QString::fromLatin1(kWebSiteAddress), this);
  content->addWidget(m_webLink, 0, Qt::AlignLeft);
  content->addSpacing(8);

  m_timer.setSingleShot(true);
  m_timer.setInterval(50);
  connect(&m_timer, &QTimer::timeout, this, &CWizFinal::OnTimer);
  connect(m_viewLog, &QPushButton::clicked, this, &CWizFinal::OnViewLog);
}

void CWizFinal::OnInitPage() {
  MakeHyperlink(m_webLink);
  MakeHyperlink(m_downloadLink);
}

void CWizFinal::OnSetActive() {
  SetWizardButtons(kWizBack | kWizFinish);
  m_statusText = TransferStatusText(m_context.TransferStatus());
  const bool checked = m_working->m_upgrade == 1;
  const bool available = m_working->m_upgradeAvailable == 1;
  m_updateText =
      available ? "An updated version of Varnook FTP is available." : "No updates are available.";
  m_updateLabel->setVisible(checked);
  m_downloadLink->setVisible(checked && available);
  m_viewLog->setVisible(!m_working->GetLogFile().empty());
  m_statusLabel->setText(QString::fromStdString(m_statusText));
  m_updateLabel->setText(QString::fromStdString(m_updateText));
  m_timer.start();
}

void CWizFinal::OnTimer() {
  m_timer.stop();
  // A long run may have ended behind another window: draw the user's eye to the result.
  QWidget* sheet = window();
  if (!sheet->isActiveWindow()) QApplication::alert(sheet);
}

void CWizFinal::OnViewLog() {
  const std::string log = m_working->GetLogFile();
  if (!log.empty()) ShowLogFile(this, log);
}
