// The remote file dialog, shaped like an open or save dialog: one remote folder at a time, its
// folders first and then its files, a name field, up one level and a new folder.
#pragma once

#include <QHash>
#include <QIcon>
#include <string>

#include "BrowseConnection.h"
#include "DialogHost.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QToolButton;

class CFtpFileDlg : public CModalDialog {
  Q_OBJECT
 public:
  enum Mode { kSave = 0, kOpen = 1 };
  // The kind each list item carries.
  enum Kind { kFile = 0, kFolder = 1 };

  CFtpFileDlg(int mode, const BrowseAccount& account, const std::string& path,
              QWidget* parent = nullptr);
  ~CFtpFileDlg() override;

  void OnInitDialog() override;
  bool OnOK() override;
  void TypeText(const QString& text) override;

  bool ClosedByFailure() const { return m_closedByFailure; }
  // The chosen file's full path after OK.
  const std::string& Path() const { return m_path; }
  const std::string& CurrentFolder() const { return m_currentFolder; }

  void OnUpOneLevel();
  void OnNewFolder();
  void OnItemClicked(QListWidgetItem* item);
  void OnItemDoubleClicked(QListWidgetItem* item);

  QListWidget* List() const { return m_list; }
  QLineEdit* FileNameEdit() const { return m_fileNameEdit; }
  QToolButton* UpButton() const { return m_upButton; }
  QPushButton* OkButton() const { return m_okButton; }
  // The item showing exactly this name, or none.
  QListWidgetItem* FindItem(const QString& name) const;

 private:
  void Refresh();
  void ListKind(int kind);
  void CloseOnFailure();
  QIcon FileIcon(const QString& name);

  int m_mode;
  BrowseAccount m_account;
  std::string m_path;
  CBrowseConnection m_connection;
  std::string m_fileName;
  QString m_labelText;
  QIcon m_folderIcon;
  QHash<QString, QIcon> m_fileIcons;  // by name suffix: the type's icon is looked up once
  int m_widest = 0;
  std::string m_currentFolder;
  bool m_closedByFailure = false;

  QLabel* m_lookInLabel;
  QComboBox* m_lookInCombo;
  QToolButton* m_upButton;
  QToolButton* m_backButton;
  QToolButton* m_newFolderButton;
  QToolButton* m_detailsButton;
  QListWidget* m_list;
  QLineEdit* m_fileNameEdit;
  QPushButton* m_okButton;
};
