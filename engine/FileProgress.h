// Progress inside a whole-file put or get. The whole-file calls move a file in one call; when
// the host has a progress callback, the connection tells this scope the file's bytes as they
// move, and the record's bytes done follow them. Without a callback nothing is wired, so the
// transfer runs exactly as before.
#pragma once

#include <cstdint>

#include "trox/Internet.h"
#include "trox/TransferJob.h"

class CFileProgressScope {
 public:
  // base: the bytes done before this file; each report counts from it, so a second fetch of
  // the same file starts again at the same place.
  CFileProgressScope(CTransferJob& job, CFtpConnection* connection, int64_t base)
      : m_job(job),
        m_connection(job.m_progressCallback != nullptr ? connection : nullptr),
        m_base(base) {
    if (m_connection != nullptr) m_connection->SetFileProgress(&Moved, this);
  }
  ~CFileProgressScope() {
    if (m_connection != nullptr) m_connection->SetFileProgress(nullptr, nullptr);
  }
  CFileProgressScope(const CFileProgressScope&) = delete;
  CFileProgressScope& operator=(const CFileProgressScope&) = delete;

 private:
  static void Moved(uint64_t bytes, void* context) {
    auto* self = static_cast<CFileProgressScope*>(context);
    self->m_job.m_progress.bytesDone = self->m_base + static_cast<int64_t>(bytes);
    self->m_job.ReportProgress();
  }

  CTransferJob& m_job;
  CFtpConnection* m_connection;
  int64_t m_base;
};
