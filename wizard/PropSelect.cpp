#include "PropSelect.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "AdvancedRules.h"
#include "AdvancedSettings.h"
#include "trox/TransferJob.h"

CAddSel::CAddSel(QWidget* parent) : CModalDialog(parent) {
  setWindowTitle(QStringLiteral("Varnook FTP - Extension"));
  auto* layout = new QVBoxLayout(this);
  m_edit = new QLineEdit(this);
  m_edit->setMinimumWidth(220);
  auto* label = new QLabel(QStringLiteral("Extension - i.e. *.html, *.jpg:"), this);
  label->setBuddy(m_edit);
  layout->addWidget(label);
  layout->addWidget(m_edit);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CAddSel::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CAddSel::reject);
  layout->addWidget(buttons);
}

void CAddSel::OnInitDialog() {
  m_edit->setText(QString::fromStdString(m_extension));
}

bool CAddSel::OnOK() {
  const std::string text = m_edit->text().toStdString();
  if (std::optional<std::string> fault = ExtensionFault(text)) {
    ShowEntryFault(this, m_edit, *fault);
    return false;
  }
  m_extension = text;
  return true;
}

void CAddSel::TypeText(const QString& text) {
  m_edit->setText(text);
}

CPropSelect::CPropSelect(CTransferJob* job, QWidget* parent) : CPropPage(parent), m_job(job) {
  auto* layout = new QVBoxLayout(this);
  m_all = new QRadioButton(QStringLiteral("&Transfer all files"), this);
  m_exclude = new QRadioButton(
      QStringLiteral("&Exclude files with the following extensions from transfer"), this);
  m_include = new QRadioButton(
      QStringLiteral("&Include only files with the following extensions in transfer"), this);
  layout->addWidget(m_all);
  layout->addWidget(m_exclude);
  layout->addWidget(m_include);

  auto* row = new QHBoxLayout;
  m_list = new QListWidget(this);
  m_list->setSortingEnabled(true);
  m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  row->addWidget(m_list, 1);
  const RuleButtons buttons = AddRuleButtons(this, row);
  m_add = buttons.add;
  m_edit = buttons.edit;
  m_remove = buttons.remove;
  layout->addLayout(row, 1);

  connect(m_all, &QRadioButton::clicked, this, &CPropSelect::OnAllFiles);
  connect(m_exclude, &QRadioButton::clicked, this, &CPropSelect::OnExclude);
  connect(m_include, &QRadioButton::clicked, this, &CPropSelect::OnInclude);
  connect(m_add, &QPushButton::clicked, this, &CPropSelect::OnAdd);
  connect(m_edit, &QPushButton::clicked, this, &CPropSelect::OnEdit);
  connect(m_remove, &QPushButton::clicked, this, &CPropSelect::OnRemove);
  connect(m_list, &QListWidget::itemSelectionChanged, this, &CPropSelect::UpdateButtons);
  connect(m_list, &QListWidget::itemDoubleClicked, this, [this] {
    if (m_list->selectedItems().size() == 1) OnEdit();
  });
}

void CPropSelect::OnSetActive() {
  if (m_job->m_selectMode == 1)
    OnInclude();
  else if (m_job->m_selectMode == 2)
    OnExclude();
  else
    OnAllFiles();
}

void CPropSelect::OnAllFiles() {
  m_all->setChecked(true);
  m_job->SetSelectMode(0);
  m_list->clear();
  for (QWidget* w : {static_cast<QWidget*>(m_list), static_cast<QWidget*>(m_add),
                     static_cast<QWidget*>(m_edit), static_cast<QWidget*>(m_remove)})
    w->setEnabled(false);
}

void CPropSelect::OnExclude() {
  ListMode(2);
}

void CPropSelect::OnInclude() {
  ListMode(1);
}

void CPropSelect::ListMode(int mode) {
  (mode == 1 ? m_include : m_exclude)->setChecked(true);
  m_job->SetSelectMode(mode);
  m_list->setEnabled(true);
  m_add->setEnabled(true);
  FillList();
}

void CPropSelect::FillList() {
  m_list->clear();
  for (const tagTROX_SEL& entry : m_job->m_selectList)
    m_list->addItem(QString::fromStdString(entry.extension));
  UpdateButtons();
}

void CPropSelect::UpdateButtons() {
  const qsizetype selected = m_list->selectedItems().size();
  m_edit->setEnabled(selected == 1);
  m_remove->setEnabled(selected >= 1);
}

std::vector<std::string> CPropSelect::SelectedTexts() const {
  std::vector<std::string> texts;
  for (const QListWidgetItem* item : m_list->selectedItems())
    texts.push_back(item->text().toStdString());
  return texts;
}

void CPropSelect::OnAdd() {
  CAddSel dialog(this);
  if (CDialogHost::Get().RunModal(dialog) == DialogResult::Ok) m_job->AddSelect(dialog.m_extension);
  FillList();
}

void CPropSelect::OnEdit() {
  std::vector<tagTROX_SEL>& list = m_job->m_selectList;
  for (const std::string& text : SelectedTexts()) {
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const tagTROX_SEL& e) { return e.extension == text; });
    if (it == list.end()) continue;
    CAddSel dialog(this);
    dialog.m_extension = it->extension;
    if (CDialogHost::Get().RunModal(dialog) == DialogResult::Ok) it->extension = dialog.m_extension;
  }
  FillList();
}

void CPropSelect::OnRemove() {
  std::vector<tagTROX_SEL>& list = m_job->m_selectList;
  for (const std::string& text : SelectedTexts()) {
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const tagTROX_SEL& e) { return e.extension == text; });
    if (it != list.end()) list.erase(it);
  }
  FillList();
}
