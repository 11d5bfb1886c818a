#include "WizLoad.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "DialogHost.h"
#include "WizSettings.h"
#include "WizardRules.h"

CWizLoad::CWizLoad(CWizContext& context)
    : CWizPage("open.htm", context), m_path(context.presetPath) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 14, 20, 10);
  layout->addWidget(MakeTitle(QStringLiteral("Open Previous Transfer"), false));
  layout->addSpacing(6);
  layout->addWidget(MakeText(QStringLiteral(
      "If you have saved a Varnook FTP Transfer (*.TRX) file and wish to use it to continue your "
      "session please load the file below.")));
  layout->addWidget(MakeText(QStringLiteral(
      "Select New Transfer to start from scratch or Previous Transfer to load a Varnook FTP "
      "Transfer file saved from a previous session.")));
  layout->addSpacing(10);
  m_newRadio = new QRadioButton(QStringLiteral("&New Transfer"), this);
  m_loadRadio = new QRadioButton(QStringLiteral("&Load Previous Transfer:"), this);
  layout->addWidget(m_newRadio);
  layout->addWidget(m_loadRadio);
  auto* row = new QHBoxLayout;
  row->setContentsMargins(22, 0, 0, 0);
  m_combo = new QComboBox(this);
  m_combo->setEditable(true);
  m_combo->setInsertPolicy(QComboBox::NoInsert);
  KeepTypedText(m_combo);
  m_combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  m_combo->setMinimumContentsLength(30);
  m_browse = new QPushButton(QStringLiteral("..."), this);
  m_browse->setFixedWidth(m_browse->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 24);
  row->addWidget(m_combo, 1);
  row->addWidget(m_browse);
  layout->addLayout(row);
  layout->addStretch(1);

  m_combo->setEditText(QString::fromStdString(m_path));
  connect(m_newRadio, &QRadioButton::clicked, this, &CWizLoad::SelectNew);
  connect(m_loadRadio, &QRadioButton::clicked, this, &CWizLoad::SelectLoad);
  connect(m_browse, &QPushButton::clicked, this, &CWizLoad::OnBrowse);
}

void CWizLoad::OnInitPage() {
  SelectNew();
}

void CWizLoad::SelectNew() {
  m_newRadio->setChecked(true);
  m_loadRadio->setChecked(false);
  m_combo->setEnabled(false);
  m_browse->setEnabled(false);
  m_newTransfer = true;
}

void CWizLoad::SelectLoad() {
  m_loadRadio->setChecked(true);
  m_newRadio->setChecked(false);
  m_combo->setEnabled(true);
  m_browse->setEnabled(true);
  m_newTransfer = false;
}

void CWizLoad::ReadControls() {
  m_path = m_combo->currentText().toStdString();
  m_newTransfer = m_newRadio->isChecked();
}

void CWizLoad::ShowPath() {
  m_combo->setEditText(QString::fromStdString(m_path));
}

void CWizLoad::OnSetActive() {
  SetWizardButtons(kWizBack | kWizNext);
  ReadControls();
  m_combo->clear();
  PurgeFileMru();
  for (int i = 0; i < kMruSize; ++i) {
    std::string entry = ReadFileMru(i);
    if (entry.empty()) break;
    m_combo->addItem(QString::fromStdString(entry));
  }
  if (!m_path.empty()) SelectLoad();
  ShowPath();
}

void CWizLoad::OnBrowse() {
  ReadControls();
  std::optional<std::string> chosen = CDialogHost::Get().OpenFileName(
      this, m_path,
      "Varnook FTP Transfer Files (*.trx)|*.trx|Varnook FTP INI Files (*.ini)|*.ini|All Files "
      "(*.*)|*.*||",
      "TRX");
  if (!chosen) return;
  m_path = *chosen;
  ShowPath();
}

bool CWizLoad::OnWizardNext() {
  ReadControls();
  LoadNextResult result = LoadPageNext(m_newTransfer, m_path, *m_working, *m_saved,
                                       [](const std::string& path) { AddFileMru(path); });
  if (result == LoadNextResult::InvalidFile) {
    CDialogHost::Get().MessageBox(this, "Invalid Transfer File", "Varnook FTP", MsgIcon::Error);
    return false;
  }
  return true;
}
