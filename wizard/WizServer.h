// Third page: the server's address, anonymous access or an account, whether the password goes
// into the transfer file, and the recently used servers when the settings switch them on.
#pragma once

#include "MruLists.h"
#include "WizPage.h"
#include "WizardRules.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class CWizServer : public CWizPage {
  Q_OBJECT
 public:
  explicit CWizServer(CWizContext& context);

  void OnInitPage() override;
  void OnSetActive() override;
  bool OnWizardNext() override;
  bool OnWizardBack() override;

  QComboBox* ServerCombo() const { return m_combo; }
  QRadioButton* AnonymousRadio() const { return m_anonymousRadio; }
  QRadioButton* AccountRadio() const { return m_accountRadio; }
  QLineEdit* UserEdit() const { return m_userEdit; }
  QLineEdit* PasswordEdit() const { return m_passwordEdit; }
  QCheckBox* SavePasswordCheck() const { return m_saveCheck; }

 public slots:
  void SelectAnonymous();
  void SelectAccount();
  // A server chosen from the list (index of the list item).
  void OnServerChosen(int index);
  void OnAdvanced();

 private:
  void SetAccountMode(bool account);
  ServerPageState ReadControls() const;
  void ShowState(const ServerPageState& state);
  void Store(const ServerPageState& state);

  ServerMruList m_mru;  // the entries read at the last activation, by MRU position

  QComboBox* m_combo;
  QRadioButton* m_anonymousRadio;
  QRadioButton* m_accountRadio;
  QLabel* m_userLabel;
  QLineEdit* m_userEdit;
  QLabel* m_passwordLabel;
  QLineEdit* m_passwordEdit;
  QCheckBox* m_saveCheck;
};
