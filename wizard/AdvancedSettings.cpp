#include "AdvancedSettings.h"

#include "TabbedSheet.h"
#include "trox/TransferJob.h"

bool RunAdvancedSettings(QWidget* parent, CTransferJob& job, bool sendMode) {
  (void)job;
  (void)sendMode;
  CTabbedSheet sheet(QStringLiteral("Varnook FTP - Transfer Advanced Settings"), parent);
  return CDialogHost::Get().RunModal(sheet) == DialogResult::Ok;
}
