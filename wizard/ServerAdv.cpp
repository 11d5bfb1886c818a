#include "ServerAdv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "WizardRules.h"
#include "trox/Internet.h"
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

  auto* securityGroup = new QGroupBox(QStringLiteral("Security:"), this);
  auto* securityLayout = new QFormLayout(securityGroup);
  m_securityCombo = new QComboBox(securityGroup);
  // In the order of the job's security modes.
  m_securityCombo->addItems({QStringLiteral("None"), QStringLiteral("Explicit TLS (AUTH TLS)"),
                             QStringLiteral("Implicit TLS")});
  auto* securityLabel = new QLabel(QStringLiteral("&Mode:"), securityGroup);
  securityLabel->setBuddy(m_securityCombo);
  securityLayout->addRow(securityLabel, m_securityCombo);
  m_pinEdit = new QLineEdit(securityGroup);
  m_pinEdit->setMinimumWidth(300);
  auto* pinLabel = new QLabel(QStringLiteral("Certificate &SHA-256:"), securityGroup);
  pinLabel->setBuddy(m_pinEdit);
  securityLayout->addRow(pinLabel, m_pinEdit);
  layout->addWidget(securityGroup);

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
  m_security = m_job->m_security <= 2 ? m_job->m_security : 0;
  m_certSha256 = m_job->m_certSha256;
  ShowFields();
}

void CServerAdv::ShowFields() {
  m_passiveCheck->setChecked(m_passive == 1);
  m_portEdit->setText(QString::number(m_port));
  m_addressEdit->setText(QString::fromStdString(m_proxyAddress));
  m_proxyPortEdit->setText(QString::number(m_proxyPort));
  m_securityCombo->setCurrentIndex(static_cast<int>(m_security));
  m_pinEdit->setText(QString::fromStdString(m_certSha256));
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
  const std::string pin = m_pinEdit->text().trimmed().toStdString();
  if (!pin.empty() && !IsCertificateFingerprint(pin)) {
    // A pin that the engine cannot read would fail every run of the job.
    CDialogHost::Get().MessageBox(
        this, "Please enter the certificate's SHA-256 fingerprint as 64 hex digits, or nothing.",
        "Varnook FTP", MsgIcon::Warning);
    m_pinEdit->setFocus();
    m_pinEdit->selectAll();
    return false;
  }
  m_passive = m_passiveCheck->isChecked() ? 1 : 0;
  m_port = port;
  m_proxyAddress = m_addressEdit->text().toStdString();
  m_proxyPort = proxyPort;
  m_security = static_cast<uint32_t>(std::max(0, m_securityCombo->currentIndex()));
  m_certSha256 = pin;

  m_job->SetPort(static_cast<uint16_t>(m_port));
  m_job->SetProxy(JoinProxy(m_proxyAddress, m_proxyPort));
  if (m_passive == 1)
    m_job->SetPassive();
  else
    m_job->ClearPassive();
  m_job->SetSecurity(m_security);
  m_job->SetCertSha256(m_certSha256);
  return true;
}
