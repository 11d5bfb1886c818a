// "Select Files" tab of the advanced sheet: all files, or only / all but the listed extensions;
// and the small dialog that asks for one extension.
#pragma once

#include <string>
#include <vector>

#include "DialogHost.h"
#include "TabbedSheet.h"

class CTransferJob;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

class CAddSel : public CModalDialog {
  Q_OBJECT
 public:
  explicit CAddSel(QWidget* parent = nullptr);

  void OnInitDialog() override;
  // Refuses, with a message, an extension that a transfer file could not hold.
  bool OnOK() override;
  void TypeText(const QString& text) override;

  QLineEdit* ExtensionEdit() const { return m_edit; }

  std::string m_extension;  // set before showing, read after OK

 private:
  QLineEdit* m_edit;
};

class CPropSelect : public CPropPage {
  Q_OBJECT
 public:
  explicit CPropSelect(CTransferJob* job, QWidget* parent = nullptr);

  void OnSetActive() override;
  // The three buttons; the list of the copy is kept while "all files" hides it.
  void OnAllFiles();
  void OnExclude();
  void OnInclude();
  void OnAdd();
  void OnEdit();
  void OnRemove();

  QRadioButton* AllRadio() const { return m_all; }
  QRadioButton* ExcludeRadio() const { return m_exclude; }
  QRadioButton* IncludeRadio() const { return m_include; }
  QListWidget* List() const { return m_list; }
  QPushButton* AddButton() const { return m_add; }
  QPushButton* EditButton() const { return m_edit; }
  QPushButton* RemoveButton() const { return m_remove; }

 private:
  void ListMode(int mode);
  void FillList();
  void UpdateButtons();
  std::vector<std::string> SelectedTexts() const;

  CTransferJob* m_job;
  QRadioButton* m_all;
  QRadioButton* m_exclude;
  QRadioButton* m_include;
  QListWidget* m_list;
  QPushButton* m_add;
  QPushButton* m_edit;
  QPushButton* m_remove;
};
