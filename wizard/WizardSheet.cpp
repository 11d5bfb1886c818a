#include "WizardSheet.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "Artwork.h"
#include "WizPage.h"

CWizardSheet::CWizardSheet(QWidget* parent) : CModalDialog(parent) {
  setWindowTitle(QStringLiteral("Varnook FTP Wizard"));
  setWindowIcon(AppIcon());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 10);
  m_stack = new QStackedWidget(this);
  layout->addWidget(m_stack, 1);
  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  layout->addWidget(line);

  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(10, 0, 10, 0);
  m_back = new QPushButton(QStringLiteral("< &Back"), this);
  m_next = new QPushButton(QStringLiteral("&Next >"), this);
  m_finish = new QPushButton(QStringLiteral("Finish"), this);
  m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
  m_help = new QPushButton(QStringLiteral("Help"), this);
  buttons->addStretch(1);
  buttons->addWidget(m_back);
  buttons->addWidget(m_next);
  buttons->addWidget(m_finish);
  buttons->addSpacing(8);
  buttons->addWidget(m_cancel);
  buttons->addWidget(m_help);
  layout->addLayout(buttons);
  m_finish->hide();
  m_next->setDefault(true);

  connect(m_back, &QPushButton::clicked, this, &CWizardSheet::Back);
  connect(m_next, &QPushButton::clicked, this, &CWizardSheet::Next);
  connect(m_finish, &QPushButton::clicked, this, &CWizardSheet::Finish);
  connect(m_cancel, &QPushButton::clicked, this, &CWizardSheet::reject);
  connect(m_help, &QPushButton::clicked, this, &CWizardSheet::Help);
  auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
  connect(f1, &QShortcut::activated, this, &CWizardSheet::Help);
  resize(600, 440);
}

void CWizardSheet::AddPage(CWizPage* page) {
  m_pages.push_back(page);
  m_stack->addWidget(page);
}

void CWizardSheet::RemovePage(CWizPage* page) {
  auto it = std::find(m_pages.begin(), m_pages.end(), page);
  if (it == m_pages.end()) return;
  int index = static_cast<int>(it - m_pages.begin());
  m_pages.erase(it);
  m_stack->removeWidget(page);
  page->setParent(nullptr);
  if (index == m_active)
    m_active = -1;
  else if (index < m_active)
    --m_active;
}

void CWizardSheet::RemovePagesAfter(int index) {
  while (GetPageCount() > index + 1) RemovePage(m_pages.back());
}

CWizPage* CWizardSheet::GetPage(int index) const {
  if (index < 0 || index >= GetPageCount()) return nullptr;
  return m_pages[static_cast<size_t>(index)];
}

void CWizardSheet::SetActivePage(int index) {
  CWizPage* page = GetPage(index);
  if (!page) return;
  m_active = index;
  m_stack->setCurrentWidget(page);
  page->InitOnce();
  page->OnSetActive();
}

void CWizardSheet::SetWizardButtons(int flags) {
  m_buttons = flags;
  m_back->setEnabled(flags & kWizBack);
  bool finish = flags & kWizFinish;
  m_next->setVisible(!finish);
  m_next->setEnabled(flags & kWizNext);
  m_finish->setVisible(finish);
  (finish ? m_finish : m_next)->setDefault(true);
}

void CWizardSheet::OnInitDialog() {
  if (m_active < 0 && GetPageCount() > 0) SetActivePage(0);
}

void CWizardSheet::Next() {
  CWizPage* page = GetActivePage();
  if (!page || !(m_buttons & kWizNext) || (m_buttons & kWizFinish)) return;
  if (!page->OnWizardNext()) return;
  // Next may have rebuilt the pages behind this one: look the page up again.
  auto it = std::find(m_pages.begin(), m_pages.end(), page);
  int index = it == m_pages.end() ? m_active : static_cast<int>(it - m_pages.begin());
  if (index + 1 < GetPageCount()) SetActivePage(index + 1);
}

void CWizardSheet::Back() {
  CWizPage* page = GetActivePage();
  if (!page || !(m_buttons & kWizBack)) return;
  if (!page->OnWizardBack()) return;
  if (m_active > 0) SetActivePage(m_active - 1);
}

void CWizardSheet::Finish() {
  CWizPage* page = GetActivePage();
  if (!page || !(m_buttons & kWizFinish)) return;
  if (page->OnWizardFinish()) done(QDialog::Accepted);
}

void CWizardSheet::Help() {
  if (CWizPage* page = GetActivePage()) page->OnHelp();
}

void CWizardSheet::reject() {
  CWizPage* page = GetActivePage();
  if (page && !page->OnQueryCancel()) return;
  done(QDialog::Rejected);
}

void CWizardSheet::done(int result) {
  m_closing = true;
  CModalDialog::done(result);
  m_closing = false;
}

void CWizardSheet::closeEvent(QCloseEvent* event) {
  if (m_closing) {
    event->accept();
    return;
  }
  event->ignore();
  reject();
}
