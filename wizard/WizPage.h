// One page of the wizard sheet. The sheet calls the hooks from one place; a page refuses Next or
// Back by returning false, and sets its own wizard buttons when it becomes active.
#pragma once

#include <QWidget>
#include <string>

#include "WizContext.h"

class CTransferJob;
class CWizardSheet;
class QComboBox;
class QLabel;
class QVBoxLayout;

enum WizardButtonFlags { kWizBack = 1, kWizNext = 2, kWizFinish = 4 };

class CWizPage : public QWidget {
  Q_OBJECT
 public:
  // helpTopic: the page's help page (welcome.htm, ...); context outlives the page.
  CWizPage(std::string helpTopic, CWizContext& context);

  // Runs once, the first time the page is shown.
  virtual void OnInitPage() {}
  // Runs every time the page is shown; sets the wizard buttons.
  virtual void OnSetActive() {}
  // true: the sheet moves on (or back).
  virtual bool OnWizardNext() { return true; }
  virtual bool OnWizardBack() { return true; }
  virtual bool OnWizardFinish() { return true; }
  // true: the sheet may close. Asks when the job changed, except on the final page.
  virtual bool OnQueryCancel();
  // The last page reports the run's result; leaving it never loses anything.
  virtual bool IsFinalPage() const { return false; }
  virtual void OnHelp();

  void InitOnce();
  const std::string& HelpTopic() const { return m_helpTopic; }
  CWizardSheet* Sheet() const;

 protected:
  void SetWizardButtons(int flags);
  // The page's bold title (control 1011). Large on the welcome and final pages.
  QLabel* MakeTitle(const QString& text, bool large);
  // A wrapped text line.
  static QLabel* MakeText(const QString& text);
  // An editable box over a recently-used list keeps exactly what was typed; the list is offered
  // in the drop-down only.
  static void KeepTypedText(QComboBox* combo);

  CWizContext& m_context;
  // The context's two jobs, which every page uses.
  CTransferJob* m_working;
  CTransferJob* m_saved;

 private:
  std::string m_helpTopic;
  bool m_initialised = false;
};

// The welcome and final pages: a banner along the left edge, the content beside it.
class CWizExteriorPage : public CWizPage {
  Q_OBJECT
 public:
  using CWizPage::CWizPage;

 protected:
  // The column beside the banner; built on first use.
  QVBoxLayout* ContentLayout();

 private:
  QVBoxLayout* m_content = nullptr;
};
