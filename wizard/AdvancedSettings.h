// The mode page's "Advanced ..." sheet: the job's per-file rules (transfer type, file selection,
// permissions, scripts), edited on a copy that replaces the job only on OK.
#pragma once

class CTransferJob;
class QWidget;

// sendMode: the mode page's Send radio button at the moment of the click (the permissions tab is
// there only when sending). true when the user left with OK and the job was replaced.
bool RunAdvancedSettings(QWidget* parent, CTransferJob& job, bool sendMode);
