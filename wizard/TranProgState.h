// The record that the progress dialog shares with its worker thread, and the worker's side: the
// thread procedure that runs the job and the two engine callbacks that copy the job's progress
// into the record. Every field is read and written under `lock` only; the worker touches no
// widget, and the dialog's timer copies the record out.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "trox/TransferJob.h"

// What a worker stores as its run result when an exception ended the run.
constexpr int kRunEndedByException = -1;

struct TranProgState {
  std::string status;  // the engine's most recent output text
  std::string log;     // all output of the run, "\r\n" where the engine ended a line
  CTransferJob* job = nullptr;
  int32_t runResult = 0;
  int32_t finished = 0;  // 1 as the worker's last act
  int32_t cancel = 0;    // the dialog's request, handed to the engine at its next output
  uint64_t bytesTotal = 0;
  uint64_t bytesDone = 0;
  uint32_t errorCode = 0;
  uint64_t startTick = 0;  // milliseconds of the monotonic clock when the run began
  std::string detail;      // current file, or an exception's text
  std::string response;    // the server's last reply as the engine captured it
  std::mutex lock;
};

// A copy of the record taken under its lock.
struct TranProgSnapshot {
  std::string status;
  std::string log;
  int32_t runResult = 0;
  int32_t finished = 0;
  int32_t cancel = 0;
  uint64_t bytesTotal = 0;
  uint64_t bytesDone = 0;
  uint32_t errorCode = 0;
  uint64_t startTick = 0;
  std::string detail;
  std::string response;
};
TranProgSnapshot TakeSnapshot(TranProgState& state);

// Milliseconds of a monotonic clock.
uint64_t TickCountMs();

// The worker's entry: runs state->job and sets finished last. Returns 0.
int TransferThreadProc(TranProgState* state);

// The job's host output and progress callbacks; userData is the TranProgState.
int OnEngineOutput(const char* text, int endOfLine, TransferProgress* progress, uintptr_t userData);
int OnEngineProgress(TransferProgress* progress, uintptr_t userData);
