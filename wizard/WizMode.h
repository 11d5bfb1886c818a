// Fourth page: send or get, archive mode for sending, and the advanced rules. Its Next builds the
// pages behind it anew, source side first.
#pragma once

#include "WizPage.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;

class CWizMode : public CWizPage {
  Q_OBJECT
 public:
  explicit CWizMode(CWizContext& context);

  void OnInitPage() override;
  void OnSetActive() override;
  bool OnWizardNext() override;
  bool OnWizardBack() override;

  QRadioButton* SendRadio() const { return m_sendRadio; }
  QRadioButton* GetRadio() const { return m_getRadio; }
  QCheckBox* ArchiveCheck() const { return m_archiveCheck; }
  QPushButton* AdvancedButton() const { return m_advanced; }

 public slots:
  void SelectSend();
  void SelectGet();
  void OnAdvanced();

 private:
  void SetSendMode(bool send);
  void Store();

  QRadioButton* m_sendRadio;
  QCheckBox* m_archiveCheck;
  QLabel* m_archiveText;
  QRadioButton* m_getRadio;
  QPushButton* m_advanced;
};
