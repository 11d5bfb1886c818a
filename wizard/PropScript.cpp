#include "PropScript.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "AdvancedRules.h"
#include "AdvancedSettings.h"

namespace {

struct ScriptKind {
  const char* type;
  const char* label;
};
constexpr ScriptKind kKinds[3] = {{"Conn", "Run on connect (Conn)"},
                                  {"Tran", "Run for each file (Tran)"},
                                  {"Disc", "Run before disconnect (Disc)"}};

int KindOrder(const std::string& type) {
  for (int i = 0; i < 3; ++i)
    if (type == kKinds[i].type) return i;
  return 3;
}

}  // namespace

CAddScript::CAddScript(QWidget* parent) : CModalDialog(parent) {
  setWindowTitle(QStringLiteral("Varnook FTP - Script Command"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  m_type = new QComboBox(this);
  m_type->setEditable(true);
  m_type->setInsertPolicy(QComboBox::NoInsert);
  m_command = new QLineEdit(this);
  m_command->setMinimumWidth(260);
  form->addRow(QStringLiteral("Type:"), m_type);
  form->addRow(QStringLiteral("Command:"), m_command);
  layout->addLayout(form);
  m_response = new QCheckBox(QStringLiteral("&Expect response from server"), this);
  layout->addWidget(m_response);
  auto* buttons = new QDialogButtonBox(
      QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
  buttons->button(QDialogButtonBox::Help)->setText(QStringLiteral("Help"));
  connect(buttons, &QDialogButtonBox::accepted, this, &CAddScript::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CAddScript::reject);
  layout->addWidget(buttons);
}

void CAddScript::OnInitDialog() {
  for (const ScriptKind& kind : kKinds) m_type->addItem(QString::fromLatin1(kind.label));
  const int order = KindOrder(m_script.type);
  m_type->setCurrentIndex(order < 3 ? order : -1);
  if (order >= 3) m_type->clearEditText();
  m_command->setText(QString::fromStdString(m_script.command));
  m_response->setChecked(m_script.expectResponse == 1);
  m_type->setEnabled(m_typeChangeable);
}

bool CAddScript::OnOK() {
  std::string type = m_script.type;
  const QString label = m_type->currentText();
  for (const ScriptKind& kind : kKinds)
    if (label == QString::fromLatin1(kind.label)) type = kind.type;
  const std::string command = m_command->text().toStdString();
  if (std::optional<std::string> fault = ScriptTypeFault(type)) {
    ShowEntryFault(this, m_type, *fault);
    return false;
  }
  if (std::optional<std::string> fault = ScriptCommandFault(command)) {
    ShowEntryFault(this, m_command, *fault);
    return false;
  }
  m_script.type = type;
  m_script.command = command;
  m_script.expectResponse = m_response->isChecked() ? 1 : 0;
  return true;
}

void CAddScript::TypeText(const QString& text) {
  m_command->setText(text);
}

CPropScript::CPropScript(CTransferJob* job, QWidget* parent) : CPropPage(parent), m_job(job) {
  auto* layout = new QHBoxLayout(this);
  m_list = new QTreeWidget(this);
  m_list->setRootIsDecorated(false);
  m_list->setItemsExpandable(false);
  m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_list->setColumnCount(4);
  m_list->setHeaderLabels({QStringLiteral("Type"), QStringLiteral("#"), QStringLiteral("Command"),
                           QStringLiteral("Resp")});
  m_list->header()->setSectionsClickable(false);
  m_list->header()->setSectionsMovable(false);
  m_list->headerItem()->setTextAlignment(1, Qt::AlignCenter);
  m_list->headerItem()->setTextAlignment(3, Qt::AlignCenter);
  const int widths[4] = {40, 25, 135, 45};
  for (int c = 0; c < 4; ++c) m_list->setColumnWidth(c, widths[c]);
  layout->addWidget(m_list, 1);

  m_up = new QPushButton(QStringLiteral("&Up"), this);
  m_down = new QPushButton(QStringLiteral("&Down"), this);
  const RuleButtons buttons = AddRuleButtons(this, layout, {m_up, m_down});
  m_add = buttons.add;
  m_edit = buttons.edit;
  m_remove = buttons.remove;

  connect(m_add, &QPushButton::clicked, this, &CPropScript::OnAdd);
  connect(m_edit, &QPushButton::clicked, this, &CPropScript::OnEdit);
  connect(m_remove, &QPushButton::clicked, this, &CPropScript::OnRemove);
  connect(m_up, &QPushButton::clicked, this, &CPropScript::OnUp);
  connect(m_down, &QPushButton::clicked, this, &CPropScript::OnDown);
  connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CPropScript::UpdateButtons);
  connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] {
    if (m_list->selectedItems().size() == 1) OnEdit();
  });
}

void CPropScript::OnSetActive() {
  FillList();
}

void CPropScript::FillList() {
  m_list->clear();
  struct Row {
    const tagTROX_SCRIPT* script;
    int kind;
  };
  std::vector<Row> rows;
  int32_t* last[3] = {&m_lastConn, &m_lastTran, &m_lastDisc};
  const std::vector<tagTROX_SCRIPT>* lists[3] = {&m_job->m_connScripts, &m_job->m_tranScripts,
                                                 &m_job->m_discScripts};
  for (int kind = 0; kind < 3; ++kind) {
    *last[kind] = 0;
    for (const tagTROX_SCRIPT& script : *lists[kind]) {
      rows.push_back({&script, kind});
      *last[kind] = script.sequence;
    }
  }
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
    if (a.kind != b.kind) return a.kind < b.kind;
    return a.script->sequence < b.script->sequence;
  });
  for (const Row& row : rows) {
    auto* item = new QTreeWidgetItem(m_list);
    item->setText(0, QString::fromLatin1(kKinds[row.kind].type));
    item->setText(1, QString::number(row.script->sequence));
    item->setText(2, QString::fromStdString(row.script->command));
    item->setText(3, row.script->expectResponse == 1 ? QStringLiteral("Y") : QStringLiteral("N"));
    item->setTextAlignment(1, Qt::AlignCenter);
    item->setTextAlignment(3, Qt::AlignCenter);
  }
  UpdateButtons();
}

int32_t CPropScript::LastNumber(const std::string& type) const {
  switch (KindOrder(type)) {
    case 0:
      return m_lastConn;
    case 1:
      return m_lastTran;
    case 2:
      return m_lastDisc;
    default:
      return 0;
  }
}

std::vector<CPropScript::RowKey> CPropScript::SelectedRows() const {
  std::vector<RowKey> rows;
  // In the order the rows stand, so that the first selected row is the top one.
  for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = m_list->topLevelItem(i);
    if (item->isSelected()) rows.push_back({item->text(0).toStdString(), item->text(1).toInt()});
  }
  return rows;
}

tagTROX_SCRIPT* CPropScript::Find(const RowKey& row) {
  std::vector<tagTROX_SCRIPT>* list = ScriptList(*m_job, row.type);
  if (!list) return nullptr;
  auto it = std::find_if(list->begin(), list->end(),
                         [&](const tagTROX_SCRIPT& s) { return s.sequence == row.number; });
  return it == list->end() ? nullptr : &*it;
}

void CPropScript::UpdateButtons() {
  const std::vector<RowKey> rows = SelectedRows();
  m_selectedType.clear();
  m_remove->setEnabled(!rows.empty());
  m_edit->setEnabled(rows.size() == 1);
  bool up = false, down = false;
  if (rows.size() == 1) {
    m_selectedType = rows[0].type;
    up = rows[0].number >= 2;
    down = rows[0].number < LastNumber(rows[0].type);
  }
  m_up->setEnabled(up);
  m_down->setEnabled(down);
}

void CPropScript::OnAdd() {
  CAddScript dialog(this);
  dialog.m_script.type = m_selectedType;
  dialog.m_typeChangeable = true;
  if (CDialogHost::Get().RunModal(dialog) == DialogResult::Ok) {
    tagTROX_SCRIPT script = dialog.m_script;
    if (std::vector<tagTROX_SCRIPT>* list = ScriptList(*m_job, script.type)) {
      script.sequence = LastNumber(script.type) + 1;
      list->push_back(script);
      FillList();
    }
  } else {
    m_list->clearSelection();
  }
  UpdateButtons();
}

void CPropScript::OnEdit() {
  for (const RowKey& row : SelectedRows()) {
    tagTROX_SCRIPT* script = Find(row);
    if (!script) continue;
    CAddScript dialog(this);
    dialog.m_script = *script;
    dialog.m_typeChangeable = false;
    if (CDialogHost::Get().RunModal(dialog) == DialogResult::Ok) *script = dialog.m_script;
  }
  FillList();
}

void CPropScript::OnRemove() {
  for (const RowKey& row : SelectedRows()) {
    std::vector<tagTROX_SCRIPT>* list = ScriptList(*m_job, row.type);
    if (tagTROX_SCRIPT* script = Find(row)) list->erase(list->begin() + (script - list->data()));
  }
  for (std::vector<tagTROX_SCRIPT>* list :
       {&m_job->m_connScripts, &m_job->m_tranScripts, &m_job->m_discScripts})
    RenumberScripts(*list);
  FillList();
}

void CPropScript::OnUp() {
  Move(true);
}

void CPropScript::OnDown() {
  Move(false);
}

void CPropScript::Move(bool up) {
  const std::vector<RowKey> rows = SelectedRows();
  if (rows.empty()) return;
  const RowKey row = rows.front();
  const int32_t target = up ? row.number - 1 : row.number + 1;
  if (target > LastNumber(row.type)) return;
  std::vector<tagTROX_SCRIPT>* list = ScriptList(*m_job, row.type);
  if (!list || !MoveScript(*list, row.number, up)) return;
  FillList();
  for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = m_list->topLevelItem(i);
    if (item->text(0).toStdString() == row.type && item->text(1).toInt() == target)
      m_list->setCurrentItem(item);
  }
  UpdateButtons();
  m_list->setFocus();
}
