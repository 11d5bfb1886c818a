#include "AdvancedSettings.h"

#include <QVBoxLayout>

#include <QPushButton>

#include <QLineEdit>
#include <QTabWidget>
#include <memory>

#include "PropBinAscii.h"
#include "PropChmod.h"
#include "PropScript.h"
#include "PropSelect.h"
#include "TabbedSheet.h"
#include "trox/TransferJob.h"

bool RunAdvancedSettings(QWidget* parent, CTransferJob& job, bool sendMode) {
  // The pages change the copy as the user acts; only OK hands it back, so Cancel needs no undo.
  auto copy = std::make_unique<CTransferJob>(job);
  CTabbedSheet sheet(QStringLiteral("Varnook FTP - Transfer Advanced Settings"), parent);
  AddAdvancedPages(sheet, copy.get(), sendMode);
  if (CDialogHost::Get().RunModal(sheet) != DialogResult::Ok) return false;
  job = *copy;
  return true;
}

void AddAdvancedPages(CTabbedSheet& sheet, CTransferJob* copy, bool sendMode) {
  sheet.AddPage(new CPropBinAscii(copy, &sheet), QStringLiteral("Transfer Type"));
  sheet.AddPage(new CPropSelect(copy, &sheet), QStringLiteral("Select Files"));
  if (sendMode) sheet.AddPage(new CPropChmod(copy, &sheet), QStringLiteral("Permissions (chmod)"));
  sheet.AddPage(new CPropScript(copy, &sheet), QStringLiteral("Transfer Script"));
  // Every tab in sight: the sheet grows to its tab titles instead of scrolling them.
  if (auto* tabs = sheet.findChild<QTabWidget*>()) tabs->setUsesScrollButtons(false);
}

void ShowEntryFault(QWidget* dialog, QWidget* field, const std::string& message) {
  CDialogHost::Get().MessageBox(dialog, message, "Varnook FTP", MsgIcon::Warning);
  field->setFocus();
  if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
}

RuleButtons AddRuleButtons(QWidget* page, QBoxLayout* layout,
                           std::initializer_list<QPushButton*> extra) {
  auto* column = new QVBoxLayout;
  RuleButtons buttons{new QPushButton(QStringLiteral("&Add ..."), page),
                      new QPushButton(QStringLiteral("&Edit ..."), page),
                      new QPushButton(QStringLiteral("&Remove"), page)};
  for (QPushButton* b : {buttons.add, buttons.edit, buttons.remove}) column->addWidget(b);
  for (QPushButton* b : extra) column->addWidget(b);
  column->addStretch(1);
  layout->addLayout(column);
  return buttons;
}
