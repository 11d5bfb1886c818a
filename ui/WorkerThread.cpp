#include "WorkerThread.h"

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "trox/InternetError.h"

// One request as its thread and its handle both see it. owner turns null when the handle gives the
// request up; the thread posts only while it is set, and the queued call checks it again, so a
// request given up after its post still hands nothing over.
struct CWorkerBase::Request {
  std::atomic<bool> stop{false};
  std::mutex lock;
  QObject* owner = nullptr;
  bool ended = false;
  std::condition_variable endedSignal;
  Failed failed;          // screen thread only
  bool answered = false;  // screen thread only
};

namespace {

// The count of live worker threads. Never destroyed: a given-up thread may still end after the
// program's statics went.
struct LiveThreads {
  std::mutex lock;
  std::condition_variable changed;
  int count = 0;
};

LiveThreads& Live() {
  static auto* live = new LiveThreads;
  return *live;
}

void ThreadStarts() {
  std::lock_guard<std::mutex> guard(Live().lock);
  ++Live().count;
}

void ThreadEnds() {
  {
    std::lock_guard<std::mutex> guard(Live().lock);
    --Live().count;
  }
  Live().changed.notify_all();
}

// The exception in flight, as the screen thread is told of it.
WorkerFailure CurrentFailure() {
  try {
    throw;
  } catch (const CInternetException& e) {
    return {e.m_dwError, e.m_text};
  } catch (const std::system_error& e) {
    return {static_cast<uint32_t>(e.code().value()), e.what()};
  } catch (const std::bad_alloc&) {
    return {ENOMEM, {}};
  } catch (const std::exception& e) {
    return {0, e.what()};
  } catch (...) {
    return {};
  }
}

}  // namespace

CWorkerBase::CWorkerBase(QObject* owner) : m_owner(owner) {}

CWorkerBase::~CWorkerBase() {
  Stop();
}

void CWorkerBase::Stop() {
  if (!m_current) return;
  m_current->stop = true;
  std::lock_guard<std::mutex> guard(m_current->lock);
  m_current->owner = nullptr;
}

bool CWorkerBase::Running() const {
  if (!m_current || m_current->answered) return false;
  std::lock_guard<std::mutex> guard(m_current->lock);
  return m_current->owner != nullptr;
}

void CWorkerBase::Wait() {
  if (!m_current) return;
  std::unique_lock<std::mutex> guard(m_current->lock);
  m_current->endedSignal.wait(guard, [this] { return m_current->ended; });
}

int CWorkerBase::LiveThreads() {
  std::lock_guard<std::mutex> guard(Live().lock);
  return Live().count;
}

bool CWorkerBase::WaitForAll(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> guard(Live().lock);
  return Live().changed.wait_for(guard, limit, [] { return Live().count == 0; });
}

bool CWorkerBase::Launch(Body body, Failed failed) {
  Stop();
  auto request = std::make_shared<Request>();
  request->owner = m_owner;
  request->failed = std::move(failed);
  m_current = request;
  ThreadStarts();
  try {
    std::thread([request, body = std::move(body)]() mutable {
      {
        // Whatever the work captured goes before the thread counts as ended.
        auto served = std::move(request);
        auto work = std::move(body);
        Serve(served, work);
      }
      ThreadEnds();
    }).detach();
  } catch (...) {
    ThreadEnds();
    WorkerFailure failure = CurrentFailure();
    {
      std::lock_guard<std::mutex> guard(request->lock);
      request->ended = true;
    }
    Post(request, [request, failure] {
      if (request->failed) request->failed(failure);
    });
    return false;
  }
  return true;
}

void CWorkerBase::Serve(const std::shared_ptr<Request>& request, const Body& body) {
  std::function<void()> handOver;
  try {
    handOver = body(request->stop);
  } catch (...) {
    WorkerFailure failure = CurrentFailure();
    handOver = [request, failure] {
      if (request->failed) request->failed(failure);
    };
  }
  try {
    Post(request, std::move(handOver));
  } catch (...) {
    // Out of memory for the queued call: the result is lost, the thread still ends cleanly.
  }
  {
    std::lock_guard<std::mutex> guard(request->lock);
    request->ended = true;
  }
  request->endedSignal.notify_all();
}

void CWorkerBase::Post(const std::shared_ptr<Request>& request, std::function<void()> handOver) {
  // Under the lock, so the handle cannot give the request up (and its owner go) mid-post.
  std::lock_guard<std::mutex> guard(request->lock);
  if (!request->owner) return;
  QMetaObject::invokeMethod(
      request->owner,
      [request, handOver = std::move(handOver)] {
        {
          std::lock_guard<std::mutex> check(request->lock);
          if (!request->owner) return;
        }
        request->answered = true;
        handOver();
      },
      Qt::QueuedConnection);
}
