#include "WizContext.h"

#include "TROXWizardDlg.h"

int CWizContext::TransferStatus() const {
  return mainWindow ? mainWindow->m_transferStatus : 0;
}
