// First page: what the wizard does, the version, and the about box and settings.
#pragma once

#include "WizPage.h"

class QLabel;

class CWizWelcome : public CWizExteriorPage {
  Q_OBJECT
 public:
  explicit CWizWelcome(CWizContext& context);

  void OnInitPage() override;
  void OnSetActive() override;

  // Whether passwords can be encrypted here; tests put in a machine without.
  static int (*s_cryptoAvailable)();

  QLabel* VersionLabel() const { return m_version; }

 public slots:
  void OnSettings();
  void OnAbout();

 private:
  void RunCryptoWarning();

  QLabel* m_version;
};
