// Second page: start a new transfer, or load a transfer file (from the recently used list, typed,
// or chosen with "...").
#pragma once

#include <string>

#include "WizPage.h"

class QComboBox;
class QPushButton;
class QRadioButton;

class CWizLoad : public CWizPage {
  Q_OBJECT
 public:
  // The context's preset path is the path offered at first.
  explicit CWizLoad(CWizContext& context);

  void OnInitPage() override;
  void OnSetActive() override;
  bool OnWizardNext() override;

  QRadioButton* NewRadio() const { return m_newRadio; }
  QRadioButton* LoadRadio() const { return m_loadRadio; }
  QComboBox* PathCombo() const { return m_combo; }
  bool NewTransfer() const { return m_newTransfer; }

 public slots:
  void SelectNew();
  void SelectLoad();
  void OnBrowse();

 private:
  void ReadControls();
  void ShowPath();

  bool m_newTransfer = true;
  std::string m_path;

  QRadioButton* m_newRadio;
  QRadioButton* m_loadRadio;
  QComboBox* m_combo;
  QPushButton* m_browse;
};
