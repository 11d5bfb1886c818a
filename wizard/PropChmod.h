// "Permissions (chmod)" tab of the advanced sheet: which mode the server gives a sent file of an
// extension; and the dialog that edits one rule with nine boxes kept in step with the number.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DialogHost.h"
#include "TabbedSheet.h"

class CTransferJob;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

class CAddChmod : public CModalDialog {
  Q_OBJECT
 public:
  explicit CAddChmod(QWidget* parent = nullptr);

  void OnInitDialog() override;
  // Refuses an extension a transfer file could not hold and a mode that is not three octal
  // digits; a stored mode such as 999 still shows, and must be corrected before OK.
  bool OnOK() override;
  void TypeText(const QString& text) override;

  QLineEdit* ExtensionEdit() const { return m_extensionEdit; }
  QLineEdit* ModeEdit() const { return m_modeEdit; }
  // 0 to 8: user r, w, x, group r, w, x, world r, w, x.
  QCheckBox* Box(int index) const { return m_boxes[index]; }

  // Set before showing, read after OK.
  std::string m_extension;
  int32_t m_mode = 0;

 private:
  void OnModeTextChanged();
  void OnBoxClicked();
  void ShowBoxes();

  QLineEdit* m_extensionEdit;
  QLineEdit* m_modeEdit;
  QCheckBox* m_boxes[9];
  bool m_updating = false;
};

class CPropChmod : public CPropPage {
  Q_OBJECT
 public:
  explicit CPropChmod(CTransferJob* job, QWidget* parent = nullptr);

  void OnSetActive() override;
  void OnAdd();
  void OnEdit();
  void OnRemove();

  QTreeWidget* List() const { return m_list; }
  QPushButton* AddButton() const { return m_add; }
  QPushButton* EditButton() const { return m_edit; }
  QPushButton* RemoveButton() const { return m_remove; }

 private:
  void FillList();
  void UpdateButtons();
  // The rule that a selected row shows: the first with its extension and mode.
  struct RowKey {
    std::string extension;
    int32_t mode;
  };
  std::vector<RowKey> SelectedRows() const;

  CTransferJob* m_job;
  QTreeWidget* m_list;
  QPushButton* m_add;
  QPushButton* m_edit;
  QPushButton* m_remove;
};
