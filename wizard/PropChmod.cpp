#include "PropChmod.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "AdvancedRules.h"
#include "AdvancedSettings.h"
#include "trox/TransferJob.h"

namespace {

QString ModeText(int32_t mode) {
  return QString::asprintf("%03i", mode);
}

}  // namespace

CAddChmod::CAddChmod(QWidget* parent) : CModalDialog(parent) {
  setWindowTitle(QStringLiteral("Varnook FTP - Permissions (chmod)"));
  auto* layout = new QVBoxLayout(this);

  m_extensionEdit = new QLineEdit(this);
  auto* extensionLabel = new QLabel(QStringLiteral("Extension - i.e. *.html, *.jpg:"), this);
  extensionLabel->setBuddy(m_extensionEdit);
  layout->addWidget(extensionLabel);
  layout->addWidget(m_extensionEdit);

  auto* group = new QGroupBox(this);
  auto* grid = new QGridLayout(group);
  const char* const classes[3] = {"user", "group", "world"};
  const char* const letters[3] = {"r", "w", "x"};
  for (int c = 0; c < 3; ++c) {
    grid->addWidget(new QLabel(QString::fromLatin1(classes[c]), group), 0, c * 3, 1, 3,
                    Qt::AlignHCenter);
    for (int p = 0; p < 3; ++p) {
      const int index = c * 3 + p;
      grid->addWidget(new QLabel(QString::fromLatin1(letters[p]), group), 1, index,
                      Qt::AlignHCenter);
      m_boxes[index] = new QCheckBox(group);
      grid->addWidget(m_boxes[index], 2, index, Qt::AlignHCenter);
      connect(m_boxes[index], &QCheckBox::clicked, this, &CAddChmod::OnBoxClicked);
    }
  }
  layout->addWidget(group);

  auto* modeRow = new QHBoxLayout;
  m_modeEdit = new QLineEdit(this);
  m_modeEdit->setMaximumWidth(60);
  auto* modeLabel = new QLabel(QStringLiteral("Permissions (chmod):"), this);
  modeLabel->setBuddy(m_modeEdit);
  modeRow->addWidget(modeLabel);
  modeRow->addWidget(m_modeEdit);
  modeRow->addStretch(1);
  layout->addLayout(modeRow);
  connect(m_modeEdit, &QLineEdit::textChanged, this, &CAddChmod::OnModeTextChanged);

  auto* buttons = new QDialogButtonBox(
      QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
  buttons->button(QDialogButtonBox::Help)->setText(QStringLiteral("Help"));
  connect(buttons, &QDialogButtonBox::accepted, this, &CAddChmod::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CAddChmod::reject);
  layout->addWidget(buttons);
}

void CAddChmod::OnInitDialog() {
  m_extensionEdit->setText(QString::fromStdString(m_extension));
  m_updating = true;
  m_modeEdit->setText(ModeText(m_mode));
  m_updating = false;
  ShowBoxes();
}

void CAddChmod::ShowBoxes() {
  const PermissionBoxes boxes = BoxesFromMode(m_mode);
  for (size_t i = 0; i < 9; ++i) m_boxes[i]->setChecked(boxes[i]);
}

void CAddChmod::OnModeTextChanged() {
  if (m_updating) return;
  // Read as the user types and not reformatted: text that is no number counts as 0 until OK
  // refuses it.
  bool number = false;
  const int value = m_modeEdit->text().trimmed().toInt(&number, 10);
  m_mode = number ? value : 0;
  ShowBoxes();
}

void CAddChmod::OnBoxClicked() {
  PermissionBoxes boxes{};
  for (size_t i = 0; i < 9; ++i) boxes[i] = m_boxes[i]->isChecked();
  m_mode = ModeFromBoxes(boxes);
  m_updating = true;
  m_modeEdit->setText(ModeText(m_mode));
  m_updating = false;
}

bool CAddChmod::OnOK() {
  const std::string extension = m_extensionEdit->text().toStdString();
  if (std::optional<std::string> fault = ExtensionFault(extension)) {
    ShowEntryFault(this, m_extensionEdit, *fault);
    return false;
  }
  if (std::optional<std::string> fault = ModeTextFault(m_modeEdit->text().toStdString())) {
    ShowEntryFault(this, m_modeEdit, *fault);
    return false;
  }
  m_extension = extension;
  m_mode = m_modeEdit->text().toInt();
  return true;
}

void CAddChmod::TypeText(const QString& text) {
  m_extensionEdit->setText(text);
}

CPropChmod::CPropChmod(CTransferJob* job, QWidget* parent) : CPropPage(parent), m_job(job) {
  auto* layout = new QHBoxLayout(this);
  m_list = new QTreeWidget(this);
  m_list->setRootIsDecorated(false);
  m_list->setItemsExpandable(false);
  m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_list->setColumnCount(3);
  m_list->setHeaderLabels(
      {QStringLiteral("Filespec"), QStringLiteral("chmod"), QStringLiteral("Permissions")});
  m_list->header()->setSectionsClickable(false);
  m_list->header()->setSectionsMovable(false);
  m_list->headerItem()->setTextAlignment(1, Qt::AlignCenter);
  m_list->headerItem()->setTextAlignment(2, Qt::AlignCenter);
  m_list->setColumnWidth(0, 80);
  m_list->setColumnWidth(1, 55);
  m_list->setColumnWidth(2, 103);
  // Fixed-width letters keep the permission columns of the rows lined up.
  QFont courier(QStringLiteral("Courier"), 8);
  courier.setStyleHint(QFont::TypeWriter);
  m_list->setFont(courier);
  layout->addWidget(m_list, 1);

  const RuleButtons buttons = AddRuleButtons(this, layout);
  m_add = buttons.add;
  m_edit = buttons.edit;
  m_remove = buttons.remove;

  connect(m_add, &QPushButton::clicked, this, &CPropChmod::OnAdd);
  connect(m_edit, &QPushButton::clicked, this, &CPropChmod::OnEdit);
  connect(m_remove, &QPushButton::clicked, this, &CPropChmod::OnRemove);
  connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CPropChmod::UpdateButtons);
  connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] {
    if (m_list->selectedItems().size() == 1) OnEdit();
  });
}

void CPropChmod::OnSetActive() {
  FillList();
}

void CPropChmod::FillList() {
  m_list->clear();
  // Rows sorted by extension, byte by byte (upper case first); the job keeps its own order,
  // which is the order the rules are applied in.
  std::vector<const tagTROX_CHMOD*> rules;
  for (const tagTROX_CHMOD& rule : m_job->m_chmodList) rules.push_back(&rule);
  std::stable_sort(rules.begin(), rules.end(), [](const tagTROX_CHMOD* a, const tagTROX_CHMOD* b) {
    return a->extension < b->extension;
  });
  for (const tagTROX_CHMOD* rule : rules) {
    auto* row = new QTreeWidgetItem(m_list);
    row->setText(0, QString::fromStdString(rule->extension));
    row->setText(1, QString::number(rule->mode));
    row->setText(2, QString::fromStdString(PermissionLetters(rule->mode)));
    row->setTextAlignment(1, Qt::AlignCenter);
    row->setTextAlignment(2, Qt::AlignCenter);
  }
  UpdateButtons();
}

void CPropChmod::UpdateButtons() {
  const qsizetype selected = m_list->selectedItems().size();
  m_edit->setEnabled(selected == 1);
  m_remove->setEnabled(selected >= 1);
}

std::vector<CPropChmod::RowKey> CPropChmod::SelectedRows() const {
  std::vector<RowKey> rows;
  for (const QTreeWidgetItem* item : m_list->selectedItems())
    rows.push_back({item->text(0).toStdString(), item->text(1).toInt()});
  return rows;
}

void CPropChmod::OnAdd() {
  CAddChmod dialog(this);
  dialog.m_mode = 300;
  if (CDialogHost::Get().RunModal(dialog) == DialogResult::Ok) {
    m_job->m_chmodList.push_back({dialog.m_extension, dialog.m_mode});
    FillList();
  } else {
    m_list->clearSelection();
  }
  UpdateButtons();
}

void CPropChmod::OnEdit() {
  std::vector<tagTROX_CHMOD>& list = m_job->m_chmodList;
  for (const RowKey& row : SelectedRows()) {
    auto it = std::find_if(list.begin(), list.end(), [&](const tagTROX_CHMOD& rule) {
      return rule.extension == row.extension && rule.mode == row.mode;
    });
    if (it == list.end()) continue;
    CAddChmod dialog(this);
    dialog.m_extension = it->extension;
    dialog.m_mode = it->mode;
    if (CDialogHost::Get().RunModal(dialog) == DialogResult::Ok) {
      it->extension = dialog.m_extension;
      it->mode = dialog.m_mode;
    }
  }
  FillList();
}

void CPropChmod::OnRemove() {
  std::vector<tagTROX_CHMOD>& list = m_job->m_chmodList;
  for (const RowKey& row : SelectedRows()) {
    auto it = std::find_if(list.begin(), list.end(), [&](const tagTROX_CHMOD& rule) {
      return rule.extension == row.extension && rule.mode == row.mode;
    });
    if (it != list.end()) list.erase(it);
  }
  FillList();
}
