#include "TabbedSheet.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

void CPropPage::InitOnce() {
  if (m_initialised) return;
  m_initialised = true;
  OnInitPage();
}

CTabbedSheet::CTabbedSheet(const QString& caption, QWidget* parent) : CModalDialog(parent) {
  setWindowTitle(caption);
  auto* layout = new QVBoxLayout(this);
  m_tabs = new QTabWidget(this);
  layout->addWidget(m_tabs, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CTabbedSheet::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CTabbedSheet::reject);
  layout->addWidget(buttons);
  connect(m_tabs, &QTabWidget::currentChanged, this, &CTabbedSheet::OnTabChanged);
}

void CTabbedSheet::AddPage(CPropPage* page, const QString& title) {
  m_pages.push_back(page);
  m_switching = true;
  m_tabs->addTab(page, title);
  m_switching = false;
}

void CTabbedSheet::RemovePage(CPropPage* page) {
  auto it = std::find(m_pages.begin(), m_pages.end(), page);
  if (it == m_pages.end()) return;
  m_switching = true;
  m_tabs->removeTab(m_tabs->indexOf(page));
  m_switching = false;
  m_pages.erase(it);
  page->setParent(nullptr);
  m_current = m_tabs->currentIndex();
}

CPropPage* CTabbedSheet::GetPage(int index) const {
  if (index < 0 || index >= GetPageCount()) return nullptr;
  return m_pages[static_cast<size_t>(index)];
}

int CTabbedSheet::GetActiveIndex() const {
  return m_current;
}

bool CTabbedSheet::SetActivePage(int index) {
  CPropPage* page = GetPage(index);
  if (!page) return false;
  if (index == m_current) return true;
  if (CPropPage* current = GetPage(m_current); current && !current->OnKillActive()) return false;
  m_current = index;
  m_switching = true;
  m_tabs->setCurrentIndex(index);
  m_switching = false;
  page->InitOnce();
  page->OnSetActive();
  return true;
}

void CTabbedSheet::OnTabChanged(int index) {
  if (m_switching) return;
  int wanted = index;
  int current = m_current;
  if (current < 0) {
    SetActivePage(wanted);
    return;
  }
  // A click on a tab: go back to the current one first, then ask it whether it may be left.
  m_switching = true;
  m_tabs->setCurrentIndex(current);
  m_switching = false;
  SetActivePage(wanted);
}

void CTabbedSheet::OnInitDialog() {
  if (m_current < 0 && GetPageCount() > 0) SetActivePage(0);
}

bool CTabbedSheet::OnOK() {
  if (CPropPage* current = GetPage(m_current); current && !current->OnKillActive()) return false;
  for (CPropPage* page : m_pages)
    if (page->WasShown()) page->OnOK();
  return true;
}
