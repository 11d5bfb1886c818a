#include "TranProgState.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <new>

#include "trox/Internet.h"
#include "trox/TransferLog.h"

namespace {

constexpr size_t kDetailLimit = 511;

uint64_t CountOf(int64_t value) {
  return value < 0 ? 0 : static_cast<uint64_t>(value);
}

// An exception ended the run: what it said becomes the error to report.
void RecordFailure(TranProgState* state, uint32_t code, const std::string& detail) {
  // The server's refusal is kept per thread: only here, on the worker, can it still be read.
  std::string reply;
  if (code == ERROR_INTERNET_EXTENDED_ERROR) ReadLastResponse(nullptr, &reply);
  // A refusal's text is the reply itself; the box already shows that, so name the file instead.
  std::string shown = detail;
  if (!reply.empty() && detail == reply && !state->job->m_progress.currentFile.empty())
    shown = state->job->m_progress.currentFile;
  std::lock_guard<std::mutex> guard(state->lock);
  state->errorCode = code;
  if (!reply.empty()) state->response = reply;
  state->detail = shown.substr(0, kDetailLimit);
  state->runResult = kRunEndedByException;
}

}  // namespace

uint64_t TickCountMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TranProgSnapshot TakeSnapshot(TranProgState& state) {
  std::lock_guard<std::mutex> guard(state.lock);
  TranProgSnapshot copy;
  copy.status = state.status;
  copy.log = state.log;
  copy.runResult = state.runResult;
  copy.finished = state.finished;
  copy.cancel = state.cancel;
  copy.bytesTotal = state.bytesTotal;
  copy.bytesDone = state.bytesDone;
  copy.errorCode = state.errorCode;
  copy.startTick = state.startTick;
  copy.detail = state.detail;
  copy.response = state.response;
  return copy;
}

int OnEngineOutput(const char* text, int endOfLine, TransferProgress* progress,
                   uintptr_t userData) {
  auto* state = reinterpret_cast<TranProgState*>(userData);
  std::lock_guard<std::mutex> guard(state->lock);
  progress->cancel = static_cast<uint32_t>(state->cancel);
  state->bytesTotal = progress->bytesToTransfer;
  state->bytesDone = CountOf(progress->bytesDone);
  state->errorCode = progress->lastError;
  state->detail = progress->currentFile;
  state->response = progress->lastResponse;
  state->log += text;
  state->status = text;
  if (endOfLine == 1) state->log += "\r\n";
  const std::string& logFile = state->job->m_logFile;
  if (!logFile.empty()) WriteLogLine(text, endOfLine, logFile);
  return 0;
}

int OnEngineProgress(TransferProgress* progress, uintptr_t userData) {
  auto* state = reinterpret_cast<TranProgState*>(userData);
  std::lock_guard<std::mutex> guard(state->lock);
  state->bytesDone = CountOf(progress->bytesDone);
  return 0;
}

int TransferThreadProc(TranProgState* state) {
  CTransferJob* job = state->job;
  try {
    job->ResetProgress();
    const std::string logFile = job->m_logFile;
    if (!logFile.empty()) {
      WriteLogLine("", 1, logFile);
      WriteLogLine(" ***** Varnook FTP Transfer Begins *****", 1, logFile);
    }
    job->SetHostOutput(OnEngineOutput, reinterpret_cast<uintptr_t>(state));
    job->SetProgressCallback(OnEngineProgress, reinterpret_cast<uintptr_t>(state));
    {
      std::lock_guard<std::mutex> guard(state->lock);
      state->startTick = TickCountMs();
    }
    int result = job->Run();
    {
      std::lock_guard<std::mutex> guard(state->lock);
      state->runResult = result;
    }
    if (!logFile.empty()) {
      WriteLogLine(" ***** Varnook FTP Transfer Ends *****", 1, logFile);
      WriteLogLine("", 1, logFile);
    }
    job->ResetProgress();
  } catch (const CInternetException& e) {
    RecordFailure(state, e.m_dwError, e.m_text);
  } catch (const std::filesystem::filesystem_error& e) {
    RecordFailure(state, static_cast<uint32_t>(e.code().value()), e.path1().string());
  } catch (const std::bad_alloc&) {
    RecordFailure(state, ENOMEM, "");
  } catch (const std::exception& e) {
    RecordFailure(state, 0, e.what());
  } catch (...) {
    RecordFailure(state, 0, "");
  }
  // The record dies with the dialog; the job may live on and run again under another one.
  job->SetHostOutput(nullptr, 0);
  job->SetProgressCallback(nullptr, 0);
  std::lock_guard<std::mutex> guard(state->lock);
  state->finished = 1;
  return 0;
}
