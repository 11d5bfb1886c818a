// The last page: how the run ended, whether a newer version is out, the run's log, and the
// maker's web site.
#pragma once

#include <QTimer>
#include <string>

#include "WizPage.h"

class QLabel;
class QPushButton;

class CWizFinal : public CWizExteriorPage {
  Q_OBJECT
 public:
  explicit CWizFinal(CWizContext& context);

  void OnInitPage() override;
  void OnSetActive() override;
  bool IsFinalPage() const override { return true; }

  QLabel* StatusLabel() const { return m_statusLabel; }
  QLabel* UpdateLabel() const { return m_updateLabel; }
  QLabel* DownloadLink() const { return m_downloadLink; }
  QLabel* WebSiteLink() const { return m_webLink; }
  QPushButton* ViewLogButton() const { return m_viewLog; }

 public slots:
  void OnViewLog();

 private slots:
  void OnTimer();

 private:
  std::string m_statusText;
  std::string m_updateText;

  QLabel* m_statusLabel;
  QLabel* m_updateLabel;
  QLabel* m_downloadLink;
  QPushButton* m_viewLog;
  QLabel* m_webLink;
  QTimer m_timer;
};

// The final page's text for a transfer status (0 incomplete, 1 completed, 2 failed, 3 cancelled).
std::string TransferStatusText(int status);
