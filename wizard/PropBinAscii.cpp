#include "PropBinAscii.h"

#include <QRadioButton>
#include <QVBoxLayout>

#include "trox/TransferJob.h"

CPropBinAscii::CPropBinAscii(CTransferJob* job, QWidget* parent) : CPropPage(parent), m_job(job) {
  const char* const texts[3] = {"&Varnook FTP determines the transfer type automatically",
                                "Force &binary transfer for all files (Type I / BIN)",
                                "Force &text transfer for all files (Type A / ASCII)"};
  auto* layout = new QVBoxLayout(this);
  for (int type = 0; type < 3; ++type) {
    m_radios[type] = new QRadioButton(QString::fromLatin1(texts[type]), this);
    connect(m_radios[type], &QRadioButton::clicked, this, [this, type] { OnType(type); });
    layout->addWidget(m_radios[type]);
  }
  layout->addStretch(1);
}

void CPropBinAscii::OnSetActive() {
  // A stored value other than 1 or 2 shows as automatic and is rewritten to it.
  const uint32_t type = m_job->m_transferType;
  OnType(type == 1 || type == 2 ? static_cast<int>(type) : 0);
}

void CPropBinAscii::OnType(int type) {
  for (int i = 0; i < 3; ++i) m_radios[i]->setChecked(i == type);
  m_job->SetTransferType(static_cast<uint32_t>(type));
}
