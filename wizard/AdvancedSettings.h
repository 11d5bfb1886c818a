// The mode page's "Advanced ..." sheet: the job's per-file rules (transfer type, file selection,
// permissions, scripts), edited on a copy that replaces the job only on OK.
#pragma once

#include <initializer_list>

#include <string>

class CTabbedSheet;
class CTransferJob;
class QBoxLayout;
class QPushButton;
class QWidget;

// sendMode: the mode page's Send radio button at the moment of the click (the permissions tab is
// there only when sending). true when the user left with OK and the job was replaced.
bool RunAdvancedSettings(QWidget* parent, CTransferJob& job, bool sendMode);

// Adds the tabs, each working on `copy`, in their order; the permissions tab only when sending.
void AddAdvancedPages(CTabbedSheet& sheet, CTransferJob* copy, bool sendMode);

// The rule dialogs' refusal: the message, then the field to correct, selected.
// The column of buttons beside a rule list: Add, Edit and Remove, then the extra ones (Up, Down),
// made with page as their parent and placed beside the list in layout.
struct RuleButtons {
  QPushButton* add;
  QPushButton* edit;
  QPushButton* remove;
};
RuleButtons AddRuleButtons(QWidget* page, QBoxLayout* layout,
                           std::initializer_list<QPushButton*> extra = {});

void ShowEntryFault(QWidget* dialog, QWidget* field, const std::string& message);
