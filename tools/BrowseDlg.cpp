#include "BrowseDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileIconProvider>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "BNewFolder.h"
#include "ConnectionError.h"
#include "WaitCursor.h"

namespace {

// No folder name can be four slashes, so the placeholder is never taken for a folder.
constexpr const char* kPlaceholderText = "////";
constexpr int kPlaceholderRole = Qt::UserRole + 1;
constexpr const char* kLoginFolderArgument = "[login folder]";

bool IsPlaceholder(const QTreeWidgetItem* item) {
  return item->data(0, kPlaceholderRole).toBool();
}

QTreeWidgetItem* PlaceholderChild(QTreeWidgetItem* item) {
  for (int i = 0; i < item->childCount(); ++i)
    if (IsPlaceholder(item->child(i))) return item->child(i);
  return nullptr;
}

void AddPlaceholder(QTreeWidgetItem* item) {
  auto* placeholder = new QTreeWidgetItem(QStringList(QString::fromLatin1(kPlaceholderText)));
  placeholder->setData(0, kPlaceholderRole, true);
  item->addChild(placeholder);
}

// Alphabetical, letters before case; the listing order never shows.
bool SortsBefore(const QString& a, const QString& b) {
  int folded = QString::compare(a, b, Qt::CaseInsensitive);
  return folded != 0 ? folded < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
}

QTreeWidgetItem* ChildNamed(QTreeWidgetItem* item, const QString& name) {
  for (int i = 0; i < item->childCount(); ++i) {
    QTreeWidgetItem* child = item->child(i);
    if (!IsPlaceholder(child) && child->text(0) == name) return child;
  }
  return nullptr;
}

}  // namespace

CBrowseDlg::CBrowseDlg(const BrowseAccount& account, const std::string& path, QWidget* parent)
    : CModalDialog(parent), m_account(account), m_path(path) {
  setWindowTitle(QStringLiteral("Browse for Folder"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Select the remote folder"), this));
  m_tree = new QTreeWidget(this);
  m_tree->setHeaderHidden(true);
  m_tree->setColumnCount(1);
  m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
  m_tree->setMinimumSize(300, 260);
  layout->addWidget(m_tree, 1);
  m_rootCheck = new QCheckBox(QStringLiteral("&Browse below the login folder"), this);
  layout->addWidget(m_rootCheck);
  auto* row = new QHBoxLayout;
  m_newFolderButton = new QPushButton(QStringLiteral("&Make New Folder"), this);
  row->addWidget(m_newFolderButton);
  row->addStretch(1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  row->addWidget(buttons);
  layout->addLayout(row);

  connect(buttons, &QDialogButtonBox::accepted, this, &CBrowseDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CBrowseDlg::reject);
  connect(m_newFolderButton, &QPushButton::clicked, this, &CBrowseDlg::OnMakeNewFolder);
  connect(m_rootCheck, &QCheckBox::toggled, this, [this] {
    if (!m_settingRootMode) OnRootModeToggled();
  });
  connect(m_tree, &QTreeWidget::itemExpanded, this, &CBrowseDlg::OnItemExpanded);
}

CBrowseDlg::~CBrowseDlg() {
  m_connection.Disconnect();
}

void CBrowseDlg::CloseOnFailure() {
  m_closedByFailure = true;
  m_connection.Disconnect();
  reject();
}

bool CBrowseDlg::ConnectToLoginFolder() {
  if (!m_connection.Connect(m_account) || !m_connection.GetCurrentFolder(m_rootPath)) {
    ShowConnectionError(this, m_connection, true);
    CloseOnFailure();
    return false;
  }
  return true;
}

void CBrowseDlg::OnInitDialog() {
  if (m_path == kLoginFolderArgument) m_path.clear();
  if (!m_connection.Connect(m_account)) {
    ShowConnectionError(this, m_connection, true);
    CloseOnFailure();
    return;
  }
  if (!m_path.empty() && m_path[0] == '/') {
    m_rootMode = 1;
    m_rootPath = "/";
  } else {
    m_rootMode = 0;
    if (!m_connection.GetCurrentFolder(m_rootPath)) {
      ShowConnectionError(this, m_connection, true);
      CloseOnFailure();
      return;
    }
  }
  m_settingRootMode = true;
  m_rootCheck->setChecked(m_rootMode == 1);
  m_settingRootMode = false;
  m_folderIcon = QFileIconProvider().icon(QAbstractFileIconProvider::Folder);
  FillTree();
  if (!m_closedByFailure) Preselect();
}

void CBrowseDlg::FillTree() {
  m_tree->clear();
  QString label = m_rootMode == 1 ? QStringLiteral("/") : QString::fromStdString(m_account.server);
  m_rootItem = new QTreeWidgetItem(QStringList(label));
  m_rootItem->setIcon(0, m_folderIcon);
  m_tree->addTopLevelItem(m_rootItem);
  ListFolder(m_rootPath);
  if (m_closedByFailure) return;
  m_rootItem->setExpanded(true);
}

void CBrowseDlg::ListFolder(const std::string& folder) {
  CWaitCursor wait;
  if (!m_connection.FindFirst(folder)) {
    ShowConnectionError(this, m_connection, false);
    return;
  }
  std::string path;
  int found = 0;
  while (m_connection.FindNext(path, 1, found) && found) InsertPath(path);
  if (!m_connection.Disconnect() || !m_connection.Connect(m_account)) {
    ShowConnectionError(this, m_connection, true);
    CloseOnFailure();
  }
}

void CBrowseDlg::InsertPath(std::string path) {
  if (path.compare(0, m_rootPath.size(), m_rootPath) == 0) {
    if (path.size() <= m_rootPath.size()) return;
    path.erase(0, m_rootPath.size());
  }
  if (!path.empty() && path[0] == '/') path.erase(0, 1);
  QTreeWidgetItem* current = m_rootItem;
  const QStringList parts = QString::fromStdString(path).split(QLatin1Char('/'));
  for (const QString& part : parts) {
    if (part.isEmpty()) continue;
    QTreeWidgetItem* child = ChildNamed(current, part);
    if (!child) {
      child = new QTreeWidgetItem(QStringList(part));
      child->setIcon(0, m_folderIcon);
      AddPlaceholder(child);
      int at = 0;
      while (at < current->childCount() &&
             (IsPlaceholder(current->child(at)) || SortsBefore(current->child(at)->text(0), part)))
        ++at;
      current->insertChild(at, child);
    }
    current = child;
  }
}

void CBrowseDlg::ListOnce(QTreeWidgetItem* item) {
  QTreeWidgetItem* placeholder = PlaceholderChild(item);
  if (!placeholder || m_closedByFailure) return;
  delete placeholder;
  ListFolder(ServerPath(item));
}

void CBrowseDlg::OnItemExpanded(QTreeWidgetItem* item) {
  ListOnce(item);
}

std::string CBrowseDlg::ItemPath(QTreeWidgetItem* item) const {
  std::string path;
  for (QTreeWidgetItem* at = item; at && at != m_rootItem; at = at->parent())
    path = at->text(0).toStdString() + "/" + path;
  if (m_rootMode == 1) path = m_rootPath + path;
  return path;
}

std::string CBrowseDlg::ServerPath(QTreeWidgetItem* item) const {
  return m_rootMode == 1 ? ItemPath(item) : m_rootPath + ItemPath(item);
}

void CBrowseDlg::Preselect() {
  QTreeWidgetItem* chosen = nullptr;
  if (m_path.size() < 2 && (m_path.empty() || m_path == "/")) {
    chosen = m_rootItem;
  } else {
    std::string rest = m_path[0] == '/' ? m_path.substr(1) : m_path;
    const QStringList parts =
        QString::fromStdString(rest).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QTreeWidgetItem* current = m_rootItem;
    for (int i = 0; i < parts.size() && current; ++i) {
      QTreeWidgetItem* child = ChildNamed(current, parts[i]);
      if (child && i + 1 < parts.size()) {
        ListOnce(child);
        if (m_closedByFailure) return;
        child->setExpanded(true);
      } else if (child) {
        chosen = child;
      }
      current = child;
    }
  }
  if (!chosen) return;
  m_tree->scrollToItem(chosen);
  m_tree->setCurrentItem(chosen);
  chosen->setSelected(true);
  m_tree->setFocus();
}

QTreeWidgetItem* CBrowseDlg::SelectedItem() const {
  QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
  return selected.isEmpty() ? nullptr : selected.first();
}

bool CBrowseDlg::OnOK() {
  QTreeWidgetItem* item = SelectedItem();
  if (!item) {
    CDialogHost::Get().MessageBox(this, "No folder is selected!", "Varnook FTP", MsgIcon::Error);
    return false;
  }
  std::string path = ItemPath(item);
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  m_path = path;
  return true;
}

void CBrowseDlg::OnMakeNewFolder() {
  if (m_closedByFailure) return;
  QTreeWidgetItem* item = SelectedItem();
  if (!item) {
    CDialogHost::Get().MessageBox(this, "No folder is selected!", "Varnook FTP", MsgIcon::Error);
    return;
  }
  std::string parent = ServerPath(item);
  CBNewFolder ask(this);
  if (CDialogHost::Get().RunModal(ask) != DialogResult::Ok) return;
  std::string created = parent + ask.Name();
  if (!m_connection.CreateFolder(created)) {
    ShowConnectionError(this, m_connection, true);
    return;
  }
  InsertPath(created);
  QTreeWidgetItem* child = ChildNamed(item, QString::fromStdString(ask.Name()));
  ListOnce(item);
  if (m_closedByFailure) return;
  item->setExpanded(true);
  if (child) {
    m_tree->setCurrentItem(child);
    child->setSelected(true);
    m_tree->scrollToItem(child);
  }
}

void CBrowseDlg::OnRootModeToggled() {
  if (m_closedByFailure) return;
  m_rootMode = m_rootCheck->isChecked() ? 1 : 0;
  if (m_rootMode == 1) {
    m_rootPath = "/";
  } else {
    m_connection.Disconnect();
    if (!ConnectToLoginFolder()) return;
  }
  FillTree();
}
