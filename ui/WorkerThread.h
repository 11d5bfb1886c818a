// The one worker-thread helper and the scoped lock that the wizard's background work uses
// (size counts and the transfer run). A worker never touches a widget; the user-interface thread
// polls HasEnded() from a timer and joins.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

using CCriticalSection = std::mutex;
using CSingleLock = std::lock_guard<std::mutex>;

class CWorkerThread {
 public:
  CWorkerThread() = default;
  // Joins: a worker never outlives its owner.
  ~CWorkerThread() { Join(); }
  CWorkerThread(const CWorkerThread&) = delete;
  CWorkerThread& operator=(const CWorkerThread&) = delete;

  // Runs fn on a new thread; a suspended worker waits for Resume() before it calls fn.
  // A worker that is still there (running or ended) is joined first.
  void Start(std::function<void()> fn, bool suspended = false) {
    Join();
    m_ended = false;
    m_released = !suspended;
    m_thread = std::thread([this, fn = std::move(fn)] {
      {
        std::unique_lock<std::mutex> lock(m_startMutex);
        m_startCondition.wait(lock, [this] { return m_released; });
      }
      fn();
      m_ended = true;
    });
  }

  void Resume() {
    {
      CSingleLock lock(m_startMutex);
      m_released = true;
    }
    m_startCondition.notify_all();
  }

  bool Started() const { return m_thread.joinable(); }
  bool HasEnded() const { return m_ended; }

  void Join() {
    if (!m_thread.joinable()) return;
    Resume();
    m_thread.join();
  }

 private:
  std::thread m_thread;
  std::atomic<bool> m_ended{false};
  std::mutex m_startMutex;
  std::condition_variable m_startCondition;
  bool m_released = true;
};
