// Port, proxy, passive mode and security of the working job ("&Advanced ..." on the server page).
// Writes into the job itself on OK.
#pragma once

#include <cstdint>
#include <string>

#include "DialogHost.h"

class CTransferJob;
class QCheckBox;
class QComboBox;
class QLineEdit;

class CServerAdv : public CModalDialog {
  Q_OBJECT
 public:
  explicit CServerAdv(CTransferJob* job, QWidget* parent = nullptr);

  void OnInitDialog() override;
  // A port field that is not a whole number from 0 to 65535, or a pin that is neither empty nor
  // a SHA-256 fingerprint, is reported and keeps the dialog open; nothing reaches the job then.
  bool OnOK() override;

  QCheckBox* PassiveCheck() const { return m_passiveCheck; }
  QLineEdit* PortEdit() const { return m_portEdit; }
  QLineEdit* ProxyAddressEdit() const { return m_addressEdit; }
  QLineEdit* ProxyPortEdit() const { return m_proxyPortEdit; }
  QComboBox* SecurityCombo() const { return m_securityCombo; }
  QLineEdit* PinEdit() const { return m_pinEdit; }

 private:
  void ShowFields();
  bool ReadPort(QLineEdit* edit, uint32_t& field);

  CTransferJob* m_job;
  int m_passive = 0;
  uint32_t m_port = 0;
  std::string m_proxyAddress;
  uint32_t m_proxyPort = 0;
  uint32_t m_security = 0;
  std::string m_certSha256;

  QCheckBox* m_passiveCheck;
  QLineEdit* m_portEdit;
  QLineEdit* m_addressEdit;
  QLineEdit* m_proxyPortEdit;
  QComboBox* m_securityCombo;
  QLineEdit* m_pinEdit;
};
