// "Transfer Type" tab of the advanced sheet: automatic, always binary or always text.
#pragma once

#include "TabbedSheet.h"

class CTransferJob;
class QRadioButton;

class CPropBinAscii : public CPropPage {
  Q_OBJECT
 public:
  // The page changes the sheet's copy of the job the moment a button is clicked.
  explicit CPropBinAscii(CTransferJob* job, QWidget* parent = nullptr);

  void OnSetActive() override;
  // 0 automatic, 1 binary, 2 text.
  void OnType(int type);

  QRadioButton* TypeRadio(int type) const { return m_radios[type]; }

 private:
  CTransferJob* m_job;
  QRadioButton* m_radios[3];
};
