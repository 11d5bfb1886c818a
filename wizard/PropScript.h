// "Transfer Script" tab of the advanced sheet: the commands sent on connect, after each file and
// before disconnect, in one list by kind and number; and the dialog that edits one command.
#pragma once

#include <string>
#include <vector>

#include "DialogHost.h"
#include "TabbedSheet.h"
#include "trox/TransferJob.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

class CAddScript : public CModalDialog {
  Q_OBJECT
 public:
  explicit CAddScript(QWidget* parent = nullptr);

  void OnInitDialog() override;
  // Refuses a command that a transfer file could not hold, and a command without a kind.
  bool OnOK() override;
  void TypeText(const QString& text) override;

  QComboBox* TypeCombo() const { return m_type; }
  QLineEdit* CommandEdit() const { return m_command; }
  QCheckBox* ResponseCheck() const { return m_response; }

  // Set before showing, read after OK; the number passes through unchanged.
  tagTROX_SCRIPT m_script;
  bool m_typeChangeable = true;

 private:
  QComboBox* m_type;
  QLineEdit* m_command;
  QCheckBox* m_response;
};

class CPropScript : public CPropPage {
  Q_OBJECT
 public:
  explicit CPropScript(CTransferJob* job, QWidget* parent = nullptr);

  void OnSetActive() override;
  void OnAdd();
  void OnEdit();
  void OnRemove();
  void OnUp();
  void OnDown();

  QTreeWidget* List() const { return m_list; }
  QPushButton* AddButton() const { return m_add; }
  QPushButton* EditButton() const { return m_edit; }
  QPushButton* RemoveButton() const { return m_remove; }
  QPushButton* UpButton() const { return m_up; }
  QPushButton* DownButton() const { return m_down; }

 private:
  struct RowKey {
    std::string type;
    int32_t number;
  };
  void FillList();
  void UpdateButtons();
  void Move(bool up);
  std::vector<RowKey> SelectedRows() const;
  int32_t LastNumber(const std::string& type) const;
  tagTROX_SCRIPT* Find(const RowKey& row);

  CTransferJob* m_job;
  // The highest number of each kind as the list was last filled (0 for an empty kind).
  int32_t m_lastConn = 0;
  int32_t m_lastTran = 0;
  int32_t m_lastDisc = 0;
  std::string m_selectedType;  // the kind of the one selected row; empty otherwise
  QTreeWidget* m_list;
  QPushButton* m_add;
  QPushButton* m_edit;
  QPushButton* m_remove;
  QPushButton* m_up;
  QPushButton* m_down;
};
