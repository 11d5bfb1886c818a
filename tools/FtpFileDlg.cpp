#include "FtpFileDlg.h"

#include <QComboBox>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "BNewFolder.h"
#include "ConnectionError.h"
#include "WaitCursor.h"

namespace {

constexpr int kKindRole = Qt::UserRole + 1;

QToolButton* IconButton(QWidget* parent, QStyle::StandardPixmap pixmap, const QString& tip) {
  auto* button = new QToolButton(parent);
  button->setIcon(parent->style()->standardIcon(pixmap));
  button->setToolTip(tip);
  button->setAutoRaise(true);
  return button;
}

}  // namespace

CFtpFileDlg::CFtpFileDlg(int mode, const BrowseAccount& account, const std::string& path,
                         QWidget* parent)
    : CModalDialog(parent), m_mode(mode), m_account(account), m_path(path) {
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  m_lookInLabel = new QLabel(this);
  m_lookInCombo = new QComboBox(this);
  m_lookInCombo->setMinimumWidth(240);
  m_lookInLabel->setBuddy(m_lookInCombo);
  m_upButton = IconButton(this, QStyle::SP_FileDialogToParent, QStringLiteral("Up One Level"));
  m_backButton = IconButton(this, QStyle::SP_FileDialogBack, QStringLiteral("Back"));
  m_newFolderButton =
      IconButton(this, QStyle::SP_FileDialogNewFolder, QStringLiteral("Create New Folder"));
  m_detailsButton = IconButton(this, QStyle::SP_FileDialogDetailedView, QStringLiteral("Details"));
  top->addWidget(m_lookInLabel);
  top->addWidget(m_lookInCombo, 1);
  for (QToolButton* button : {m_upButton, m_backButton, m_newFolderButton, m_detailsButton})
    top->addWidget(button);
  layout->addLayout(top);

  m_list = new QListWidget(this);
  m_list->setViewMode(QListView::ListMode);
  m_list->setFlow(QListView::TopToBottom);
  m_list->setWrapping(true);
  m_list->setResizeMode(QListView::Adjust);
  m_list->setSelectionMode(QAbstractItemView::SingleSelection);
  m_list->setSortingEnabled(false);
  m_list->setMinimumSize(420, 220);
  layout->addWidget(m_list, 1);

  auto* bottom = new QGridLayout;
  auto* nameLabel = new QLabel(QStringLiteral("File name:"), this);
  m_fileNameEdit = new QLineEdit(this);
  nameLabel->setBuddy(m_fileNameEdit);
  m_okButton = new QPushButton(this);
  m_okButton->setDefault(true);
  auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  bottom->addWidget(nameLabel, 0, 0);
  bottom->addWidget(m_fileNameEdit, 0, 1);
  bottom->addWidget(m_okButton, 0, 2);
  bottom->addWidget(cancelButton, 1, 2);
  layout->addLayout(bottom);

  connect(m_okButton, &QPushButton::clicked, this, &CFtpFileDlg::accept);
  connect(cancelButton, &QPushButton::clicked, this, &CFtpFileDlg::reject);
  connect(m_upButton, &QToolButton::clicked, this, &CFtpFileDlg::OnUpOneLevel);
  connect(m_newFolderButton, &QToolButton::clicked, this, &CFtpFileDlg::OnNewFolder);
  connect(m_list, &QListWidget::itemClicked, this, &CFtpFileDlg::OnItemClicked);
  connect(m_list, &QListWidget::itemDoubleClicked, this, &CFtpFileDlg::OnItemDoubleClicked);
}

CFtpFileDlg::~CFtpFileDlg() {
  m_connection.Disconnect();
}

void CFtpFileDlg::CloseOnFailure() {
  m_closedByFailure = true;
  m_connection.Disconnect();
  reject();
}

void CFtpFileDlg::OnInitDialog() {
  if (!m_connection.Connect(m_account) || !m_connection.GetCurrentFolder(m_currentFolder)) {
    ShowConnectionError(this, m_connection, true);
    CloseOnFailure();
    return;
  }
  std::string preset;
  size_t slash = m_path.rfind('/');
  if (slash != std::string::npos) {
    m_currentFolder = m_path.substr(0, slash);
    preset = m_path.substr(slash + 1);
    // "/name" is a file in the root, not in a folder without a name.
    if (m_currentFolder.empty()) m_currentFolder = "/";
  }
  m_folderIcon = QFileIconProvider().icon(QAbstractFileIconProvider::Folder);

  bool open = m_mode == kOpen;
  setWindowTitle(open ? QStringLiteral("Open") : QStringLiteral("Save As"));
  m_okButton->setText(open ? QStringLiteral("&Open") : QStringLiteral("&Save"));
  m_labelText = open ? QStringLiteral("Look &in:") : QStringLiteral("Save &in:");
  m_lookInLabel->setText(m_labelText);
  m_backButton->setEnabled(false);
  m_detailsButton->setEnabled(false);
  m_lookInLabel->setEnabled(false);
  m_lookInCombo->setEnabled(false);
  m_upButton->setEnabled(m_currentFolder.size() >= 2);

  Refresh();
  if (m_closedByFailure || preset.empty()) return;
  QListWidgetItem* item = FindItem(QString::fromStdString(preset));
  m_fileName = preset;
  m_fileNameEdit->setText(QString::fromStdString(preset));
  if (item) {
    m_list->scrollToItem(item);
    m_list->setCurrentItem(item);
    m_list->setFocus();
  }
}

QListWidgetItem* CFtpFileDlg::FindItem(const QString& name) const {
  for (int i = 0; i < m_list->count(); ++i)
    if (m_list->item(i)->text() == name) return m_list->item(i);
  return nullptr;
}

QIcon CFtpFileDlg::FileIcon(const QString& name) {
  QString suffix = QFileInfo(name).suffix();
  auto known = m_fileIcons.constFind(suffix);
  if (known != m_fileIcons.constEnd()) return *known;
  // By name alone: the type's icon, whether or not such a file exists here.
  QIcon icon = QFileIconProvider().icon(QFileInfo(QStringLiteral("/nonexistent/") + name));
  if (icon.isNull()) icon = QFileIconProvider().icon(QAbstractFileIconProvider::File);
  m_fileIcons.insert(suffix, icon);
  return icon;
}

void CFtpFileDlg::Refresh() {
  CWaitCursor wait;
  m_widest = 0;
  m_list->clear();
  m_lookInCombo->clear();
  m_lookInCombo->addItem(m_folderIcon, QString::fromStdString(m_currentFolder));
  ListKind(kFolder);
  if (!m_closedByFailure) ListKind(kFile);
  // Each column of the list as wide as the widest name, so that no name is cut.
  int icon = m_list->style()->pixelMetric(QStyle::PM_SmallIconSize);
  QFontMetrics metrics(m_list->font());
  int spacing = 4 * m_list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 24;
  m_list->setGridSize(
      m_widest > 0 ? QSize(m_widest + icon + spacing, qMax(metrics.height(), icon) + 6) : QSize());
}

void CFtpFileDlg::ListKind(int kind) {
  if (!m_connection.FindFirst(m_currentFolder)) {
    ShowConnectionError(this, m_connection, false);
    return;
  }
  QFontMetrics metrics(m_list->font());
  std::string path;
  int found = 0;
  while (m_connection.FindNext(path, kind, found) && found) {
    QString name = QString::fromStdString(path.substr(path.rfind('/') + 1));
    auto* item = new QListWidgetItem(kind == kFolder ? m_folderIcon : FileIcon(name), name);
    item->setData(kKindRole, kind);
    m_list->addItem(item);
    m_widest = qMax(m_widest, metrics.horizontalAdvance(name));
  }
  m_connection.CloseFind();
  if (!m_connection.Disconnect() || !m_connection.Connect(m_account)) {
    ShowConnectionError(this, m_connection, true);
    CloseOnFailure();
  }
}

void CFtpFileDlg::OnItemClicked(QListWidgetItem* item) {
  if (!item) return;
  if (item->data(kKindRole).toInt() == kFolder)
    m_fileNameEdit->clear();
  else
    m_fileNameEdit->setText(item->text());
}

void CFtpFileDlg::OnItemDoubleClicked(QListWidgetItem* item) {
  if (!item || m_closedByFailure) return;
  if (item->data(kKindRole).toInt() != kFolder) {
    accept();
    return;
  }
  if (m_currentFolder.empty() || m_currentFolder.back() != '/') m_currentFolder += '/';
  m_currentFolder += item->text().toStdString();
  Refresh();
  m_upButton->setEnabled(true);
}

void CFtpFileDlg::OnUpOneLevel() {
  if (m_closedByFailure) return;
  size_t slash = m_currentFolder.rfind('/');
  if (slash == std::string::npos) {
    m_upButton->setEnabled(false);
    return;
  }
  // The log-in folder ends with "/", so the first step from it only drops that slash and shows
  // the same folder again.
  if (slash == 0) {
    m_currentFolder = "/";
    m_upButton->setEnabled(false);
  } else {
    m_currentFolder.erase(slash);
  }
  Refresh();
}

void CFtpFileDlg::OnNewFolder() {
  if (m_closedByFailure) return;
  CBNewFolder ask(this);
  if (CDialogHost::Get().RunModal(ask) != DialogResult::Ok) return;
  if (!m_connection.CreateFolder(m_currentFolder + "/" + ask.Name())) {
    ShowConnectionError(this, m_connection, true);
    return;
  }
  Refresh();
  if (QListWidgetItem* item = FindItem(QString::fromStdString(ask.Name())))
    m_list->scrollToItem(item);
}

bool CFtpFileDlg::OnOK() {
  m_fileName = m_fileNameEdit->text().toStdString();
  QListWidgetItem* selected =
      m_list->selectedItems().isEmpty() ? nullptr : m_list->selectedItems().first();
  if (m_fileName.empty() || (m_mode == kOpen && !selected)) {
    CDialogHost::Get().MessageBox(this, "No file is selected.", "Varnook FTP", MsgIcon::Error);
    return false;
  }
  if (m_mode == kOpen) m_fileName = selected->text().toStdString();
  bool endsWithSlash = !m_currentFolder.empty() && m_currentFolder.back() == '/';
  m_path = m_currentFolder + (endsWithSlash ? "" : "/") + m_fileName;
  return true;
}

void CFtpFileDlg::TypeText(const QString& text) {
  m_fileNameEdit->setText(text);
}
