// Asks for the account's password before a direct transfer of a job that does not keep it.
#pragma once

#include <string>

#include "DialogHost.h"

class CTransferJob;
class QLineEdit;

class CPassPrompt : public CModalDialog {
  Q_OBJECT
 public:
  explicit CPassPrompt(CTransferJob* job, QWidget* parent = nullptr);

  void OnInitDialog() override;
  // Puts the typed password (an empty one too) into the job.
  bool OnOK() override;
  void TypeText(const QString& text) override;

  QLineEdit* PasswordEdit() const { return m_passwordEdit; }

 private:
  CTransferJob* m_job;
  std::string m_password;
  std::string m_server;
  std::string m_user;

  QLineEdit* m_passwordEdit;
  QLineEdit* m_serverEdit;
  QLineEdit* m_userEdit;
};
