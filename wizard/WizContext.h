// What every wizard page works with, handed whole to each page when it is made, so that a new
// page, or a page that needs one more thing, changes no constructor list. The start-up owns all of
// it and it outlives the pages; a page holds a reference and owns nothing of it.
#pragma once

#include <functional>
#include <string>

class CTransferJob;
class CTROXWizardDlg;
class CWizSettings;

struct CWizContext {
  // The job the pages edit.
  CTransferJob* working = nullptr;
  // The job as last loaded or saved: the working job differs from it when the user changed
  // something.
  CTransferJob* saved = nullptr;
  CWizSettings* settings = nullptr;
  // The transfer file named on the command line, offered by the load page.
  std::string presetPath;
  // The mode page's Next: the pages after it are built anew for sending (false) or getting (true).
  std::function<void(bool get)> rebuildPageOrder;
  // Receives the transfer status of a run under the progress dialog and shows its percentage.
  CTROXWizardDlg* mainWindow = nullptr;

  // The last run's result: 0 incomplete, 1 completed, 2 failed, 3 cancelled.
  int TransferStatus() const;
};
