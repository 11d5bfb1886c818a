// The remote folder browser: a tree of the server's folders below the log-in folder (or below
// "/"), filled one level at a time as branches open, with "Make New Folder".
//
// A branch that has not been listed yet carries one placeholder child, so that it shows as
// openable; opening it replaces the placeholder by the folders found. The chosen path is relative
// to the log-in folder, or absolute in root mode (the check box), where the tree starts at "/".
#pragma once

#include <QIcon>
#include <string>

#include "BrowseConnection.h"
#include "DialogHost.h"

class QCheckBox;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class CBrowseDlg : public CModalDialog {
  Q_OBJECT
 public:
  CBrowseDlg(const BrowseAccount& account, const std::string& path, QWidget* parent = nullptr);
  ~CBrowseDlg() override;

  void OnInitDialog() override;
  bool OnOK() override;

  // True once the dialog gave up after a connection failure (the box was shown); its result is
  // then 0, whatever closed it.
  bool ClosedByFailure() const { return m_closedByFailure; }
  // The chosen folder after OK.
  const std::string& Path() const { return m_path; }
  int RootMode() const { return m_rootMode; }

  void OnMakeNewFolder();
  void OnRootModeToggled();

  QTreeWidget* Tree() const { return m_tree; }
  QCheckBox* RootCheck() const { return m_rootCheck; }
  QTreeWidgetItem* RootItem() const { return m_rootItem; }
  // The folder an item stands for: relative to the log-in folder with a trailing "/" in root
  // mode 0 ("" for the root item), absolute in root mode 1.
  std::string ItemPath(QTreeWidgetItem* item) const;

 private:
  void FillTree();
  void ListFolder(const std::string& folder);
  void InsertPath(std::string path);
  void OnItemExpanded(QTreeWidgetItem* item);
  // Lists the item's folders the first time it is opened.
  void ListOnce(QTreeWidgetItem* item);
  // The item's folder as the server knows it wherever the connection stands: a listing that
  // fails may leave the connection in another folder than the log-in folder.
  std::string ServerPath(QTreeWidgetItem* item) const;
  void Preselect();
  bool ConnectToLoginFolder();
  void CloseOnFailure();
  QTreeWidgetItem* SelectedItem() const;

  int m_rootMode = 0;
  BrowseAccount m_account;
  std::string m_path;
  CBrowseConnection m_connection;
  QIcon m_folderIcon;
  std::string m_rootPath;
  QTreeWidgetItem* m_rootItem = nullptr;
  bool m_closedByFailure = false;
  // Set while the tree is refilled, so the root mode's own check box changes start nothing.
  bool m_settingRootMode = false;

  QTreeWidget* m_tree;
  QCheckBox* m_rootCheck;
  QPushButton* m_newFolderButton;
};
