// The wizard sheet: pages shown one at a time with Back, Next (or Finish), Cancel and Help.
// Pages can be removed and added again, so that the mode page can rebuild the order behind it.
// The sheet does not own its pages' lifetime decisions: whoever adds a page deletes it (a page
// still in the sheet when the sheet goes is deleted with it).
#pragma once

#include <vector>

#include "DialogHost.h"

class CWizPage;
class QPushButton;
class QStackedWidget;

class CWizardSheet : public CModalDialog {
  Q_OBJECT
 public:
  explicit CWizardSheet(QWidget* parent = nullptr);

  void AddPage(CWizPage* page);
  // Takes the page out of the sheet without deleting it.
  void RemovePage(CWizPage* page);
  void RemovePagesAfter(int index);
  int GetPageCount() const { return static_cast<int>(m_pages.size()); }
  CWizPage* GetPage(int index) const;
  int GetActiveIndex() const { return m_active; }
  CWizPage* GetActivePage() const { return GetPage(m_active); }
  // Shows the page: its initialisation (first time) and its activation.
  void SetActivePage(int index);

  void SetWizardButtons(int flags);
  int GetWizardButtons() const { return m_buttons; }

  QPushButton* BackButton() const { return m_back; }
  QPushButton* NextButton() const { return m_next; }
  QPushButton* FinishButton() const { return m_finish; }
  QPushButton* CancelButton() const { return m_cancel; }

  void OnInitDialog() override;

 public slots:
  // The buttons, also for scripts: each asks the active page first.
  void Next();
  void Back();
  void Finish();
  void Help();
  // Cancel, Esc and the window's close box: the active page may refuse.
  void reject() override;
  void done(int result) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::vector<CWizPage*> m_pages;
  int m_active = -1;
  int m_buttons = 0;
  bool m_closing = false;
  QStackedWidget* m_stack;
  QPushButton* m_back;
  QPushButton* m_next;
  QPushButton* m_finish;
  QPushButton* m_cancel;
  QPushButton* m_help;
};
