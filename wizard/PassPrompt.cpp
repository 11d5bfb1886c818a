#include "PassPrompt.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "trox/TransferJob.h"

CPassPrompt::CPassPrompt(CTransferJob* job, QWidget* parent) : CModalDialog(parent), m_job(job) {
  setWindowTitle(QStringLiteral("Varnook FTP - Enter Password"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Please enter the password for this account:")));
  auto* form = new QFormLayout;
  m_serverEdit = new QLineEdit(this);
  m_serverEdit->setReadOnly(true);
  m_userEdit = new QLineEdit(this);
  m_userEdit->setReadOnly(true);
  m_passwordEdit = new QLineEdit(this);
  m_passwordEdit->setEchoMode(QLineEdit::Password);
  m_passwordEdit->setMinimumWidth(220);
  form->addRow(QStringLiteral("Server:"), m_serverEdit);
  form->addRow(QStringLiteral("Username:"), m_userEdit);
  auto* passwordLabel = new QLabel(QStringLiteral("&Password:"), this);
  passwordLabel->setBuddy(m_passwordEdit);
  form->addRow(passwordLabel, m_passwordEdit);
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CPassPrompt::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CPassPrompt::reject);
  layout->addWidget(buttons);
}

void CPassPrompt::OnInitDialog() {
  m_server = m_job->GetServer();
  m_user = m_job->GetUser();
  m_password.clear();
  m_serverEdit->setText(QString::fromStdString(m_server));
  m_userEdit->setText(QString::fromStdString(m_user));
  m_passwordEdit->clear();
  m_passwordEdit->setFocus();
}

bool CPassPrompt::OnOK() {
  m_password = m_passwordEdit->text().toStdString();
  m_job->SetPassword(m_password);
  return true;
}

void CPassPrompt::TypeText(const QString& text) {
  m_passwordEdit->setText(text);
}
