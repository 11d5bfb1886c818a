// The mode page's "Advanced ..." sheet: the job's per-file rules (transfer type, file selection,
// permissions, scripts), edited on a copy that replaces the job only on OK.
#pragma once

#include <string>

class CTabbedSheet;
class CTransferJob;
class QWidget;

// sendMode: the mode page's Send radio button at the moment of the click (the permissions tab is
// there only when sending). true when the user left with OK and the job was replaced.
bool RunAdvancedSettings(QWidget* parent, CTransferJob& job, bool sendMode);

// Adds the tabs, each working on `copy`, in their order; the permissions tab only when sending.
void AddAdvancedPages(CTabbedSheet& sheet, CTransferJob* copy, bool sendMode);

// The rule dialogs' refusal: the message, then the field to correct, selected.
void ShowEntryFault(QWidget* dialog, QWidget* field, const std::string& message);
