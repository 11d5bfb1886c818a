#include "WizServer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "DialogHost.h"
#include "ServerAdv.h"
#include "WizSettings.h"
#include "trox/TransferJob.h"

CWizServer::CWizServer(CWizContext& context) : CWizPage("server.htm", context) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 14, 20, 10);
  layout->addWidget(MakeTitle(QStringLiteral("Server Details"), false));
  layout->addSpacing(6);
  layout->addWidget(MakeText(QStringLiteral(
      "Enter the address of the server (remote computer). If the server requires a username and "
      "password select Enter account details to enter them.")));
  layout->addWidget(MakeText(QStringLiteral(
      "The address can be a host name, such as ftp.example.com, or an IP address, such as "
      "192.168.1.20.")));
  layout->addSpacing(6);

  auto* serverRow = new QHBoxLayout;
  auto* serverLabel = new QLabel(QStringLiteral("&Server:"), this);
  m_combo = new QComboBox(this);
  m_combo->setEditable(true);
  m_combo->setInsertPolicy(QComboBox::NoInsert);
  KeepTypedText(m_combo);
  serverLabel->setBuddy(m_combo);
  auto* advanced = new QPushButton(QStringLiteral("&Advanced ..."), this);
  serverRow->addWidget(serverLabel);
  serverRow->addWidget(m_combo, 1);
  serverRow->addWidget(advanced);
  layout->addLayout(serverRow);
  layout->addSpacing(4);

  m_anonymousRadio = new QRadioButton(
      QStringLiteral("&Anonymous access (no username or password required)"), this);
  m_accountRadio = new QRadioButton(QStringLiteral("&Enter account details:"), this);
  layout->addWidget(m_anonymousRadio);
  layout->addWidget(m_accountRadio);

  auto* account = new QGridLayout;
  account->setContentsMargins(22, 0, 0, 0);
  m_userLabel = new QLabel(QStringLiteral("&Username:"), this);
  m_userEdit = new QLineEdit(this);
  m_userLabel->setBuddy(m_userEdit);
  m_passwordLabel = new QLabel(QStringLiteral("&Password:"), this);
  m_passwordEdit = new QLineEdit(this);
  m_passwordEdit->setEchoMode(QLineEdit::Password);
  m_passwordLabel->setBuddy(m_passwordEdit);
  m_saveCheck = new QCheckBox(
      QStringLiteral("Sa&ve encrypted password in Varnook FTP Transfer file (*.TRX)"), this);
  account->addWidget(m_userLabel, 0, 0);
  account->addWidget(m_userEdit, 0, 1);
  account->addWidget(m_passwordLabel, 1, 0);
  account->addWidget(m_passwordEdit, 1, 1);
  account->addWidget(m_saveCheck, 2, 0, 1, 2);
  layout->addLayout(account);
  layout->addStretch(1);

  connect(m_anonymousRadio, &QRadioButton::clicked, this, &CWizServer::SelectAnonymous);
  connect(m_accountRadio, &QRadioButton::clicked, this, &CWizServer::SelectAccount);
  connect(m_combo, qOverload<int>(&QComboBox::activated), this, &CWizServer::OnServerChosen);
  connect(advanced, &QPushButton::clicked, this, &CWizServer::OnAdvanced);
}

void CWizServer::SetAccountMode(bool account) {
  m_anonymousRadio->setChecked(!account);
  m_accountRadio->setChecked(account);
  for (QWidget* w : std::initializer_list<QWidget*>{m_userLabel, m_userEdit, m_passwordLabel,
                                                    m_passwordEdit, m_saveCheck})
    w->setEnabled(account);
}

void CWizServer::SelectAnonymous() {
  SetAccountMode(false);
}
void CWizServer::SelectAccount() {
  SetAccountMode(true);
}

void CWizServer::OnInitPage() {
  SetAccountMode(false);
}

ServerPageState CWizServer::ReadControls() const {
  ServerPageState state;
  state.server = m_combo->currentText().toStdString();
  state.accountMode = !m_anonymousRadio->isChecked();
  state.user = m_userEdit->text().toStdString();
  state.password = m_passwordEdit->text().toStdString();
  state.saveEncryptedPassword = m_saveCheck->isChecked();
  return state;
}

void CWizServer::ShowState(const ServerPageState& state) {
  m_combo->setEditText(QString::fromStdString(state.server));
  m_userEdit->setText(QString::fromStdString(state.user));
  m_passwordEdit->setText(QString::fromStdString(state.password));
  SetAccountMode(state.accountMode);
  m_saveCheck->setChecked(state.saveEncryptedPassword);
}

void CWizServer::OnSetActive() {
  SetWizardButtons(kWizBack | kWizNext);
  if (m_context.settings->GetServerMruEnabled() != 0) {
    m_mru = ServerMruList{};
    m_combo->clear();
    for (int n = 0; n < kMruSize; ++n) {
      ServerMruEntry& entry = m_mru[static_cast<size_t>(n)];
      ReadServerMru(n, entry.server, entry.user, entry.password);
      if (!entry.server.empty()) m_combo->addItem(QString::fromStdString(entry.server), n);
    }
  }
  ShowState(ServerPageFromJob(*m_working));
}

void CWizServer::OnServerChosen(int index) {
  bool ok = false;
  int n = m_combo->itemData(index).toInt(&ok);
  if (!ok || n < 0 || n >= kMruSize) return;
  ShowState(ServerPageFromMru(ReadControls(), m_mru[static_cast<size_t>(n)]));
}

void CWizServer::Store(const ServerPageState& state) {
  if (auto entry = StoreServerPage(state, *m_working, m_context.settings->GetServerMruEnabled()))
    AddServerMru(entry->server, entry->user, entry->password);
}

bool CWizServer::OnWizardNext() {
  ServerPageState state = ReadControls();
  if (!ServerAddressAccepted(state.server)) {
    CDialogHost::Get().MessageBox(this, "Invalid Server Address", "Varnook FTP", MsgIcon::Error);
    return false;
  }
  Store(state);
  return true;
}

bool CWizServer::OnWizardBack() {
  // Asked before this page's controls are stored: edits made only here do not count.
  if (JobChanged(*m_working, *m_saved) &&
      CDialogHost::Get().MessageBox(
          this, "Some settings have been changed. Are you sure that you want to go back?",
          "Varnook FTP", MsgIcon::Question, MsgButtons::YesNo) != DialogResult::Yes)
    return false;
  Store(ReadControls());
  return true;
}

void CWizServer::OnAdvanced() {
  CServerAdv dialog(m_working, this);
  CDialogHost::Get().RunModal(dialog);
}
