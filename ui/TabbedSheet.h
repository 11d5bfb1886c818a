// The tabbed sheet: pages as tabs and OK / Cancel for the whole sheet. A page may refuse to be
// left (a tab change or OK) when its fields are not valid; OK then hands every page that was
// shown the chance to store its fields.
#pragma once

#include <QWidget>
#include <vector>

#include "DialogHost.h"

class QTabWidget;

class CPropPage : public QWidget {
  Q_OBJECT
 public:
  explicit CPropPage(QWidget* parent = nullptr) : QWidget(parent) {}

  // Runs the first time the page is shown.
  virtual void OnInitPage() {}
  // Every time it becomes the current tab.
  virtual void OnSetActive() {}
  // Leaving the tab, or OK while it is current: false keeps it.
  virtual bool OnKillActive() { return true; }
  // OK of the sheet, for every page that was shown.
  virtual void OnOK() {}

  void InitOnce();
  bool WasShown() const { return m_initialised; }

 private:
  bool m_initialised = false;
};

class CTabbedSheet : public CModalDialog {
  Q_OBJECT
 public:
  explicit CTabbedSheet(const QString& caption, QWidget* parent = nullptr);

  // The sheet shows the page; the caller keeps ownership decisions (a page still in the sheet
  // goes with it).
  void AddPage(CPropPage* page, const QString& title);
  void RemovePage(CPropPage* page);
  int GetPageCount() const { return static_cast<int>(m_pages.size()); }
  CPropPage* GetPage(int index) const;
  int GetActiveIndex() const;
  // false when the current page refuses to be left.
  bool SetActivePage(int index);

  void OnInitDialog() override;
  bool OnOK() override;

 private slots:
  void OnTabChanged(int index);

 private:
  std::vector<CPropPage*> m_pages;
  QTabWidget* m_tabs;
  int m_current = -1;
  bool m_switching = false;
};
