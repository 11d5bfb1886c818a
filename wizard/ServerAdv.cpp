#include "ServerAdv.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "WizardRules.h"
#include "trox/TransferJob.h"

namespace {
constexpr uint32_t kMaxPort = 65535;
}  // namespace

CServerAdv::CServerAdv(CTransferJob* job, QWidget* parent) : CModalDialog(parent), m_job(job) {
  setWindowTitle(QStringLiteral("Varnook FTP - Server Advanced Settings"));
  auto* layout = new QVBoxLayout(this);

  auto* passiveGroup = new QGroupBox(QStringLiteral("Passive Mode:"), this);
  auto* passiveLayout = new QVBoxLayout(passiveGroup);
  m_passiveCheck = new QCheckBox(QStringLiteral("&Use passive FTP semantics"), passiveGroup);
  passiveLayout->addWidget(m_passiveCheck);
  layout->addWidget(passiveGroup);

  auto* portGroup = new QGroupBox(QStringLiteral("FTP Server Port:"), this);
  auto* portLayout = new QFormLayout(portGroup);
  m_portEdit = new QLineEdit(portGroup);
  m_portEdit->setMaximumWidth(90);
  auto* portLabel = new QLabel(QStringLiteral("&Port:"), portGroup);
  portLabel->setBuddy(m_portEdit);
  portLayout->addRow(portLabel, m_portEdit);
  layout->addWidget(portGroup);

  auto* proxyGroup = new QGroupBox(QStringLiteral("FTP Proxy Server:"), this);
  auto* proxyLayout = new QHBoxLayout(proxyGroup);
  m_addressEdit = new QLineEdit(proxyGroup);
  m_addressEdit->setMinimumWidth(200);
  m_proxyPortEdit = new QLineEdit(proxyGroup);
  m_proxyPortEdit->setMaximumWidth(70);
  auto* addressLabel = new QLabel(QStringLiteral("&Address:"), proxyGroup);
  addressLabel->setBuddy(m_addressEdit);
  auto* proxyPortLabel = new QLabel(QStringLiteral("P&ort:"), proxyGroup);
  proxyPortLabel->setBuddy(m_proxyPortEdit);
  proxyLayout->addWidget(addressLabel);
  proxyLayout->addWidget(m_addressEdit, 1);
  proxyLayout->addWidget(proxyPortLabel);
  proxyLayout->addWidget(m_proxyPortEdit);
  layout->addWidget(proxyGroup);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CServerAdv::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CServerAdv::reject);
  layout->addWidget(buttons);
}

void CServerAdv::OnInitDialog() {
  m_port = m_job->m_port;
  std::string proxy = m_job->GetProxy();
  if (!proxy.empty()) {
    ProxyParts parts = SplitProxy(proxy);
    m_proxyAddress = parts.address;
    m_proxyPort = parts.port;
  }
  m_passive = m_job->m_passive == 1 ? 1 : 0;
  ShowFields();
}

void CServerAdv::ShowFields() {
  m_passiveCheck->setChecked(m_passive == 1);
  m_portEdit->setText(QString::number(m_port));
  m_addressEdit->setText(QString::fromStdString(m_proxyAddress));
  m_proxyPortEdit->setText(QString::number(m_proxyPort));
}

bool CServerAdv::ReadPort(QLineEdit* edit, uint32_t& field) {
  // Both fields are TCP ports: a larger number would be cut to another port without a word.
  std::optional<uint32_t> number = ParseUnsignedField(edit->text().toStdString());
  if (number && *number <= kMaxPort) {
    field = *number;
    return true;
  }
  CDialogHost::Get().MessageBox(this, "Please enter a whole number from 0 to 65535.", "Varnook FTP",
                                MsgIcon::Warning);
  edit->setFocus();
  edit->selectAll();
  return false;
}

bool CServerAdv::OnOK() {
  // Read every field before anything goes into the job, so that a refused field leaves the job
  // as it was.
  uint32_t port = m_port, proxyPort = m_proxyPort;
  if (!ReadPort(m_portEdit, port) || !ReadPort(m_proxyPortEdit, proxyPort)) return false;
  m_passive = m_passiveCheck->isChecked() ? 1 : 0;
  m_port = port;
  m_proxyAddress = m_addressEdit->text().toStdString();
  m_proxyPort = proxyPort;

  m_job->SetPort(static_cast<uint16_t>(m_port));
  m_job->SetProxy(JoinProxy(m_proxyAddress, m_proxyPort));
  if (m_passive == 1)
    m_job->SetPassive();
  else
    m_job->ClearPassive();
  return true;
}
