// The dialog in which the wizard runs one transfer job. A worker thread runs the job; the engine's
// callbacks copy its progress into the shared record, and a 500 ms timer copies the record into
// the controls. The dialog closes by itself once the worker has finished, after reporting an
// error if there was one, and leaves the transfer status in the main window. Every way of closing
// it while the worker runs only asks the run to stop; the worker never outlives the dialog.
#pragma once

#include <QDialog>
#include <QTimer>
#include <string>

#include "TranProgState.h"
#include "WorkerThread.h"

class CTransferJob;
class CTROXWizardDlg;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

class CTranProg : public QDialog {
  Q_OBJECT
 public:
  // job and mainWindow are not owned; mainWindow (may be null) receives the transfer status and
  // the title with the percentage.
  CTranProg(CTransferJob* job, CTROXWizardDlg* mainWindow, QWidget* parent = nullptr);
  ~CTranProg() override;

  // Starts the run and shows the dialog modally until the run has ended. Always QDialog::Accepted:
  // callers read the transfer status.
  int DoModal();

  // Starts the worker and the timer, and folds the log box away.
  void OnInitDialog();
  // The Cancel button, Esc and the window's close command: ask the run to stop.
  void OnCancel();
  void OnToggleLog();

  // Shows a made-up moment of a run, `elapsedMs` after its start, without running anything
  // (screenshots).
  void ShowPreview(const TranProgSnapshot& snapshot, uint64_t elapsedMs);

  QLabel* StatusLabel() const { return m_statusLabel; }
  QLabel* BytesLabel() const { return m_bytesLabel; }
  QLabel* TimeLeftLabel() const { return m_timeLeftLabel; }
  QProgressBar* ProgressBar() const { return m_progress; }
  QPushButton* CancelButton() const { return m_cancel; }
  QPushButton* ToggleButton() const { return m_toggle; }
  QPlainTextEdit* LogBox() const { return m_logBox; }
  TranProgState& State() { return m_state; }
  bool ProgressShown() const { return m_progressShown != 0; }
  bool Expanded() const { return m_expanded != 0; }
  // The fingerprint of a refused certificate that the user chose to trust after the run (it is
  // in the job too), or "".
  const std::string& PinnedFingerprint() const { return m_pinned; }

 protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private slots:
  void OnTimer();

 private:
  // One refresh of the controls from the record; nowTick decides speed and time left.
  void Refresh(const TranProgSnapshot& snapshot, uint64_t nowTick);
  void Finish(const TranProgSnapshot& snapshot);
  // After a refused certificate: asks whether to trust it and pins it in the job on Yes.
  void OfferPin(const TranProgSnapshot& snapshot);
  void ScrollLogToEnd();
  void SetClientHeightDlu(int heightDlu);
  // The worker could not run the job, or the job let an exception out: the run ends as failed.
  void OnWorkerFailed(const WorkerFailure& failure);

  QPushButton* m_toggle;
  QPlainTextEdit* m_logBox;
  QPushButton* m_cancel;
  QProgressBar* m_progress;
  QLabel* m_statusLabel;
  QLabel* m_bytesLabel;
  QLabel* m_timeLeftLabel;

  // The four texts exchanged with the controls.
  std::string m_statusText;
  std::string m_logText;
  std::string m_bytesText;
  std::string m_timeLeftText;

  CTransferJob* m_job;
  CTROXWizardDlg* m_mainWindow;
  TranProgState m_state;
  int m_progressShown = 0;
  int m_expanded = 0;

  QTimer m_timer;
  // The run's result travels through the record; the worker only ends it.
  CWorkerThread<int> m_worker{this};
  bool m_ended = false;
  std::string m_shownLog;  // what the log box already holds, to add only the new part
  std::string m_pinned;
};
