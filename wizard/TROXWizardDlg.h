// The program's main window. It stays hidden: it registers the file type, waits 50 ms for the
// event loop, then either runs the command line's transfer file at once or shows the wizard
// sheet, and ends the program when that is over. It owns the sheet and the page objects; the
// jobs and the settings live in the start-up call that spans the whole wizard.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "WizContext.h"

class CTransferJob;
class CWizPage;
class CWizSettings;
class CWizardSheet;

class CTROXWizardDlg : public QWidget {
  Q_OBJECT
 public:
  enum PageIndex {
    kWelcome,
    kLoad,
    kServer,
    kMode,
    kLocal,
    kRemote,
    kTransfer,
    kFinal,
    kPageCount
  };

  // arguments: the command line without the program's name (CommandLine.h).
  explicit CTROXWizardDlg(std::vector<std::string> arguments = {}, QWidget* parent = nullptr);
  ~CTROXWizardDlg() override;

  // Registers the file type and starts the one-shot start timer.
  void OnInitDialog();

  // Builds the pages for the given jobs and settings and adds them in order; the preset path
  // goes to the load page. The sheet is shown by the caller.
  void BuildSheet(CTransferJob* working, CTransferJob* saved, CWizSettings* settings,
                  const std::string& presetPath);
  void DeletePages();
  // The mode page's Next: the pages after it are built anew from the working job, the source
  // side first (local then remote when sending, remote then local when getting).
  void RebuildPageOrder(bool get);
  CWizardSheet& Sheet() const { return *m_sheet; }
  // What the pages are given; set by BuildSheet.
  const CWizContext& Context() const { return m_context; }
  CWizPage* Page(PageIndex index) const;

  // Result of the last run: 0 incomplete, 1 completed, 2 failed, 3 cancelled.
  int m_transferStatus = 0;

 signals:
  // Start-up is over (wizard closed or direct transfer done): the program ends with exitCode,
  // which is 0 unless a direct transfer did not complete (1), so that whoever started it can tell.
  void Ended(int exitCode);

 private slots:
  void OnStartTimer();

 private:
  void DirectTransfer(CTransferJob& job);
  // A new page object with what the page is given, or none for a page this version lacks.
  CWizPage* CreatePage(PageIndex index);
  void DeletePage(PageIndex index);

  std::vector<std::string> m_arguments;
  QTimer m_startTimer;
  // A window of its own (not a child of this hidden one), so the desktop lists it.
  std::unique_ptr<CWizardSheet> m_sheet;
  CWizContext m_context;
  std::array<QPointer<CWizPage>, kPageCount> m_pages;
};

// Writes the freedesktop file type entries for this program (silent on failure).
void RegisterWizardFileType();
