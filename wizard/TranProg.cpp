#include "TranProg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <algorithm>

#include "DialogHost.h"
#include "DialogUnits.h"
#include "TROXWizardDlg.h"
#include "TranProgText.h"
#include "trox/Internet.h"
#include "trox/TransferJob.h"

namespace {

constexpr int kWidthDlu = 278;
constexpr int kCollapsedHeightDlu = 95;
constexpr int kExpandedHeightDlu = 182;
constexpr int kRefreshMs = 500;

const char* const kCaption = "Varnook FTP - Transfer Progress";

// The log keeps the engine's "\r\n"; the box wants plain line feeds.
QString DisplayText(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.remove(QLatin1Char('\r'));
  return shown;
}

}  // namespace

CTranProg::CTranProg(CTransferJob* job, CTROXWizardDlg* mainWindow, QWidget* parent)
    : QDialog(parent), m_job(job), m_mainWindow(mainWindow) {
  setWindowTitle(QString::fromLatin1(kCaption));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  m_statusLabel = new QLabel(this);
  m_statusLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_statusLabel->setWordWrap(true);
  m_statusLabel->setGeometry(DialogUnitRect(*this, 7, 7, 264, 24));
  m_bytesLabel = new QLabel(this);
  m_bytesLabel->setAlignment(Qt::AlignCenter);
  m_bytesLabel->setGeometry(DialogUnitRect(*this, 7, 35, 264, 8));
  m_timeLeftLabel = new QLabel(this);
  m_timeLeftLabel->setAlignment(Qt::AlignCenter);
  m_timeLeftLabel->setGeometry(DialogUnitRect(*this, 7, 47, 264, 8));
  m_progress = new QProgressBar(this);
  m_progress->setRange(0, 100);
  m_progress->setValue(0);
  m_progress->setTextVisible(false);
  m_progress->setGeometry(DialogUnitRect(*this, 7, 59, 264, 14));
  m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
  m_cancel->setGeometry(DialogUnitRect(*this, 7, 77, 50, 14));
  m_toggle = new QPushButton(QStringLiteral(">>>"), this);
  m_toggle->setGeometry(DialogUnitRect(*this, 221, 77, 50, 14));
  m_toggle->setAutoDefault(false);
  m_logBox = new QPlainTextEdit(this);
  m_logBox->setReadOnly(true);
  m_logBox->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_logBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_logBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_logBox->setGeometry(DialogUnitRect(*this, 7, 95, 264, 80));

  connect(m_cancel, &QPushButton::clicked, this, &CTranProg::OnCancel);
  connect(m_toggle, &QPushButton::clicked, this, &CTranProg::OnToggleLog);
  connect(m_logBox, &QPlainTextEdit::textChanged, this, &CTranProg::ScrollLogToEnd);
  connect(&m_timer, &QTimer::timeout, this, &CTranProg::OnTimer);
  m_expanded = 1;
  SetClientHeightDlu(kExpandedHeightDlu);
}

CTranProg::~CTranProg() {
  if (m_worker.Started() && !m_ended) {
    // Only reached when the dialog goes before its run ended (the program is quitting): the run
    // is asked to stop and the record and the job stay alive until the worker has left them.
    {
      std::lock_guard<std::mutex> guard(m_state.lock);
      m_state.cancel = 1;
    }
    m_worker.Wait();
  }
}

void CTranProg::SetClientHeightDlu(int heightDlu) {
  // Qt sizes the client area; the frame comes on top by itself.
  setFixedSize(DialogUnitRect(*this, 0, 0, kWidthDlu, heightDlu).size());
}

int CTranProg::DoModal() {
  // One dialog runs one job once; opened again it has nothing left to wait for.
  if (m_ended) return QDialog::Accepted;
  OnInitDialog();
  setModal(true);
  return exec();
}

void CTranProg::OnInitDialog() {
  if (m_worker.Started() || m_ended) return;
  m_statusLabel->clear();
  m_logBox->clear();
  m_bytesLabel->clear();
  m_timeLeftLabel->clear();
  {
    std::lock_guard<std::mutex> guard(m_state.lock);
    m_state.job = m_job;
    m_state.finished = 0;
    m_state.cancel = 0;
    m_state.bytesTotal = 0;
    m_state.bytesDone = 0;
    m_state.errorCode = 0;
    m_state.startTick = TickCountMs();
  }
  if (m_mainWindow) m_mainWindow->m_transferStatus = kTransferCompleted;
  m_progress->hide();
  m_progressShown = 0;
  TranProgState* state = &m_state;
  m_worker.Start([state](const std::atomic<bool>&) { return TransferThreadProc(state); }, {},
                 [this](const WorkerFailure& failure) { OnWorkerFailed(failure); });
  m_timer.start(kRefreshMs);
  m_expanded = 1;
  OnToggleLog();
}

void CTranProg::OnToggleLog() {
  if (m_expanded == 1) {
    m_expanded = 0;
    m_toggle->setText(QStringLiteral(">>>"));
    SetClientHeightDlu(kCollapsedHeightDlu);
  } else {
    m_expanded = 1;
    m_toggle->setText(QStringLiteral("<<<"));
    SetClientHeightDlu(kExpandedHeightDlu);
  }
}

void CTranProg::OnCancel() {
  std::lock_guard<std::mutex> guard(m_state.lock);
  m_state.cancel = 1;
  m_cancel->setEnabled(false);
}

void CTranProg::reject() {
  // Esc: the dialog ends only when the run has.
  if (!m_ended) OnCancel();
}

void CTranProg::closeEvent(QCloseEvent* event) {
  if (m_ended) {
    event->accept();
    return;
  }
  OnCancel();
  event->ignore();
}

void CTranProg::OnTimer() {
  TranProgSnapshot snapshot = TakeSnapshot(m_state);
  // The last lines of a run also reach the controls, and stay readable behind an error box.
  Refresh(snapshot, TickCountMs());
  if (snapshot.finished == 1) Finish(snapshot);
}

void CTranProg::Refresh(const TranProgSnapshot& snapshot, uint64_t nowTick) {
  std::string speedText;
  if (m_progressShown) {
    int percent = PercentDone(snapshot.bytesTotal, snapshot.bytesDone);
    m_progress->setValue(percent);
    if (m_mainWindow) m_mainWindow->setWindowTitle(QStringLiteral("TROX: %1%").arg(percent));
    setWindowTitle(QStringLiteral("%1 %2%").arg(QString::fromLatin1(kCaption)).arg(percent));
    SpeedEstimate estimate =
        EstimateSpeed(snapshot.bytesTotal, snapshot.bytesDone, snapshot.startTick, nowTick);
    if (estimate.computed) {
      speedText = estimate.speedText;
      if (!estimate.timeLeftText.empty()) m_timeLeftText = estimate.timeLeftText;
    }
  } else if (snapshot.bytesTotal > 0) {
    m_progress->show();
    m_progressShown = 1;
  }
  m_bytesText = BytesText(m_job->m_get != 0, snapshot.bytesTotal, snapshot.bytesDone, speedText);
  m_statusText = snapshot.status;
  m_logText = snapshot.log;

  m_statusLabel->setText(QString::fromStdString(m_statusText));
  m_bytesLabel->setText(QString::fromStdString(m_bytesText));
  m_timeLeftLabel->setText(QString::fromStdString(m_timeLeftText));
  // The log only grows during a run: add the new part instead of replacing the whole text.
  if (m_logText.compare(0, m_shownLog.size(), m_shownLog) == 0) {
    if (m_logText.size() > m_shownLog.size()) {
      QTextCursor cursor(m_logBox->document());
      cursor.movePosition(QTextCursor::End);
      cursor.insertText(DisplayText(m_logText.substr(m_shownLog.size())));
    }
  } else {
    m_logBox->setPlainText(DisplayText(m_logText));
  }
  m_shownLog = m_logText;
  ScrollLogToEnd();
}

void CTranProg::ScrollLogToEnd() {
  QScrollBar* vertical = m_logBox->verticalScrollBar();
  vertical->setValue(vertical->maximum());
  // Far enough right that the end of the latest line shows.
  QFontMetrics metrics(m_logBox->font());
  int right = metrics.horizontalAdvance(QString::fromStdString(m_statusText)) -
              m_logBox->viewport()->width();
  QScrollBar* horizontal = m_logBox->horizontalScrollBar();
  horizontal->setValue(std::clamp(right, 0, horizontal->maximum()));
}

void CTranProg::OnWorkerFailed(const WorkerFailure& failure) {
  // The next tick reports it like any run that an exception ended.
  std::lock_guard<std::mutex> guard(m_state.lock);
  m_state.errorCode = failure.error;
  m_state.runResult = kRunEndedByException;
  m_state.finished = 1;
}

void CTranProg::Finish(const TranProgSnapshot& snapshot) {
  m_timer.stop();
  m_ended = true;
  // finished is the worker's last act, so this returns at once.
  m_worker.Wait();
  if (m_mainWindow) m_mainWindow->setWindowTitle(QStringLiteral("Varnook FTP Wizard"));

  int status = m_mainWindow ? m_mainWindow->m_transferStatus : kTransferCompleted;
  if (WantsErrorBox(m_job->m_ignore != 0, snapshot.errorCode, snapshot.runResult)) {
    std::string fetched;
    if (snapshot.errorCode != 0) GetErrorDescription(snapshot.errorCode, fetched);
    std::string description =
        ErrorBoxDescription(snapshot.errorCode, fetched, snapshot.response, snapshot.status);
    std::string text = ErrorBoxText(snapshot.errorCode, description, snapshot.detail);
    QWidget* owner = parentWidget() ? parentWidget()->window() : this;
    QApplication::alert(owner);
    CDialogHost::Get().MessageBox(this, text, "Varnook FTP", MsgIcon::Error);
    status = kTransferIncomplete;
    OfferPin(snapshot);
  }
  status = StatusAfterRun(status, snapshot.cancel == 1, snapshot.runResult);
  if (m_mainWindow) m_mainWindow->m_transferStatus = status;
  done(QDialog::Accepted);
}

void CTranProg::OfferPin(const TranProgSnapshot& snapshot) {
  switch (snapshot.errorCode) {
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_INVALID_CERT:
      break;
    default:
      return;
  }
  RefusedCertificate certificate;
  if (!RefusedCertificateOf(snapshot.detail, &certificate)) return;
  const std::string question =
      "Trust this server certificate for this job from now on?\n\nSHA-256: " + certificate.sha256 +
      "\nSubject: " + certificate.subject + "\nValid until: " + certificate.validUntil;
  if (CDialogHost::Get().MessageBox(this, question, "Varnook FTP", MsgIcon::Question,
                                    MsgButtons::YesNo) != DialogResult::Yes)
    return;
  m_pinned = certificate.sha256;
  m_job->SetCertSha256(m_pinned);
}

void CTranProg::ShowPreview(const TranProgSnapshot& snapshot, uint64_t elapsedMs) {
  m_progress->hide();
  m_progressShown = 0;
  if (m_expanded) OnToggleLog();
  TranProgSnapshot shown = snapshot;
  shown.startTick = 1000;
  Refresh(shown, shown.startTick + elapsedMs);
  Refresh(shown, shown.startTick + elapsedMs);
}
