#include "WizPathPage.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <utility>

#include "TranProgText.h"
#include "trox/TransferJob.h"

CWizPathPage::CWizPathPage(std::string helpTopic, CWizContext& context, const QString& title,
                           const QString& intro)
    : CWizPage(std::move(helpTopic), context), m_count(this) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 14, 20, 10);
  layout->addWidget(MakeTitle(title, false));
  layout->addSpacing(6);
  layout->addWidget(MakeText(intro));
  layout->addSpacing(8);

  m_folderRadio = new QRadioButton(QStringLiteral("&Folder"), this);
  m_folderCaption = new QLabel(this);
  m_folderEdit = new QLineEdit(this);
  m_folderButton = new QPushButton(QStringLiteral("..."), this);
  m_fileRadio = new QRadioButton(QStringLiteral("F&ile"), this);
  m_fileCaption = new QLabel(this);
  m_fileEdit = new QLineEdit(this);
  m_fileButton = new QPushButton(QStringLiteral("..."), this);
  for (QPushButton* button : {m_folderButton, m_fileButton}) button->setFixedWidth(32);

  // Each choice: its radio button, then its caption and path indented under it.
  auto* grid = new QGridLayout;
  grid->setColumnMinimumWidth(0, 22);
  grid->setColumnStretch(1, 1);
  grid->addWidget(m_folderRadio, 0, 0, 1, 3);
  grid->addWidget(m_folderCaption, 1, 1, 1, 2);
  grid->addWidget(m_folderEdit, 2, 1);
  grid->addWidget(m_folderButton, 2, 2);
  grid->setRowMinimumHeight(3, 10);
  grid->addWidget(m_fileRadio, 4, 0, 1, 3);
  grid->addWidget(m_fileCaption, 5, 1, 1, 2);
  grid->addWidget(m_fileEdit, 6, 1);
  grid->addWidget(m_fileButton, 6, 2);
  layout->addLayout(grid);
  layout->addSpacing(12);
  m_sizeText = new QLabel(this);
  layout->addWidget(m_sizeText);
  layout->addStretch(1);

  connect(m_folderRadio, &QRadioButton::clicked, this, &CWizPathPage::SelectFolder);
  connect(m_fileRadio, &QRadioButton::clicked, this, &CWizPathPage::SelectFile);
  connect(m_folderButton, &QPushButton::clicked, this, &CWizPathPage::OnBrowseFolder);
  connect(m_fileButton, &QPushButton::clicked, this, &CWizPathPage::OnBrowseFile);
  connect(m_folderEdit, &QLineEdit::textChanged, this, [this] { FolderChanged(); });
  connect(m_fileEdit, &QLineEdit::textChanged, this, [this] { FileChanged(); });
}

std::string CWizPathPage::FolderText() const {
  return m_folderEdit->text().toStdString();
}

std::string CWizPathPage::FileText() const {
  return m_fileEdit->text().toStdString();
}

void CWizPathPage::SetText(QLineEdit* edit, const std::string& text) {
  QSignalBlocker quiet(edit);
  edit->setText(QString::fromStdString(text));
}

void CWizPathPage::SetFolderMode(bool folder) {
  m_folderRadio->setChecked(folder);
  m_fileRadio->setChecked(!folder);
  m_folderEdit->setEnabled(folder);
  m_folderButton->setEnabled(folder);
  m_fileEdit->setEnabled(!folder);
  m_fileButton->setEnabled(!folder);
}

void CWizPathPage::SelectFolder() {
  SetFolderMode(true);
  FolderChanged();
}

void CWizPathPage::SelectFile() {
  SetFolderMode(false);
  FileChanged();
}

void CWizPathPage::OnInitPage() {
  SetFolderMode(true);
}

void CWizPathPage::OnSetActive() {
  SetWizardButtons(kWizBack | kWizNext);
  bool source = SourceRole();
  bool single = m_working->m_single == 1;
  Captions captions = RoleCaptions(source);
  m_folderCaption->setText(QString::fromLatin1(captions.folder));
  m_fileCaption->setText(QString::fromLatin1(captions.file));
  // The destination takes the source's choice: only that choice stays open to the user.
  m_folderRadio->setEnabled(source || !single);
  m_folderCaption->setEnabled(source || !single);
  m_fileRadio->setEnabled(source || single);
  m_fileCaption->setEnabled(source || single);
  m_sizeText->setVisible(source);

  std::string path = GivenPath();
  if (single) {
    SetText(m_fileEdit, path);
    SelectFile();
  } else {
    SetText(m_folderEdit, ShownFolder(path));
    SelectFolder();
  }
}

void CWizPathPage::ShowSizeText() {
  m_sizeText->setText(QString::fromStdString(FormatSize(m_total) + " to transfer"));
}

void CWizPathPage::ShowSize(uint64_t total) {
  ++m_request;
  m_count.Stop();
  m_total = total;
  ShowSizeText();
}

void CWizPathPage::StartCount(Count count) {
  uint32_t request = ++m_request;
  // The copy is taken here, on the thread that edits the job, and the count owns it.
  bool started = m_count.Start(
      [count = std::move(count), job = *m_working, request](const std::atomic<bool>& stop) {
        uint64_t total = 0;
        count(job, stop, &total);
        // An incomplete count (a folder unreadable, the server gone) shows what it could count.
        return SizeReply{request, total};
      },
      [this](SizeReply reply) {
        if (reply.request != m_request) return;
        m_total = reply.total;
        ShowSizeText();
      },
      [this, request](const WorkerFailure&) {
        if (request != m_request) return;
        m_total = 0;
        ShowSizeText();
      });
  if (started) m_sizeText->setText(QStringLiteral("Calculating transfer size ..."));
}

void CWizPathPage::Store() {
  if (m_fileRadio->isChecked()) {
    m_working->SetSingle();
    StorePath(FileText());
  } else {
    m_working->ClearSingle();
    StorePath(StoredFolder(FolderText()));
  }
}

bool CWizPathPage::OnWizardNext() {
  if (SourceRole()) {
    bool single = m_fileRadio->isChecked();
    if (!SourceAccepted(single, single ? FileText() : StoredFolder(FolderText()))) return false;
  }
  // Whatever the count would still find is of no use once the page is left.
  m_count.Stop();
  Store();
  return true;
}

bool CWizPathPage::OnWizardBack() {
  m_count.Stop();
  Store();
  return true;
}
