// Background work for the screen thread. A function runs on a thread of its own with a stop flag;
// what it returns, or the exception that ended it, comes back to the screen thread as a queued
// call in the owner's context. Every Start is a new request: a later Start, Stop() and the end of
// the handle give the running request up, so only the latest request's result ever arrives.
//
// A request that was given up is told to stop and left to end by itself: the handle never waits
// for it, so deleting a page in the middle of a long walk does not freeze the screen. Such a
// thread holds everything it uses (its function and what that captured) and posts nothing once
// it has been given up. The owner must outlive the handle: make the handle a member of its owner.
//
// What the work reads is copied on the screen thread, in the capture, while nobody edits it:
//   m_count.Start([job = *m_working, folder](const std::atomic<bool>& stop) { ... },
//                 [this](uint64_t total) { ShowSize(total); });
#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

// What ended a piece of work that did not return: an error number (WinINet or system; 0 when the
// failure carried none) and its text.
struct WorkerFailure {
  uint32_t error = 0;
  std::string text;
};

class CWorkerBase {
 public:
  using Failed = std::function<void(const WorkerFailure& failure)>;

  CWorkerBase(const CWorkerBase&) = delete;
  CWorkerBase& operator=(const CWorkerBase&) = delete;

  // Gives the running request up: its stop flag is set and its result will not arrive.
  void Stop();
  // A request was started and neither answered nor given up yet.
  bool Running() const;
  // Any request was ever started.
  bool Started() const { return m_current != nullptr; }
  // Blocks until the latest request's thread has ended. Only for work that honours a stop
  // quickly, or that must not outlive what it points to.
  void Wait();

  // Threads of every handle still running, given-up ones included.
  static int LiveThreads();
  // Waits until no worker thread is left, at most for limit; true when none is. For the program's
  // end, so that no given-up thread still runs while the statics go.
  static bool WaitForAll(std::chrono::milliseconds limit);

 protected:
  struct Request;
  // Runs on the worker thread; returns the call that hands the result over on the screen thread.
  using Body = std::function<std::function<void()>(const std::atomic<bool>& stop)>;

  explicit CWorkerBase(QObject* owner);
  ~CWorkerBase();
  // Starts body for a new request and gives the previous one up. false when no thread could be
  // made; failed still hears of it, later, on the screen thread like every other failure.
  bool Launch(Body body, Failed failed);

 private:
  static void Serve(const std::shared_ptr<Request>& request, const Body& body);
  static void Post(const std::shared_ptr<Request>& request, std::function<void()> handOver);

  QObject* m_owner;
  std::shared_ptr<Request> m_current;
};

// R is the work's result; it is copied into the queued call, so it must be copyable.
template <typename R>
class CWorkerThread : public CWorkerBase {
 public:
  using Work = std::function<R(const std::atomic<bool>& stop)>;
  using Done = std::function<void(R result)>;

  explicit CWorkerThread(QObject* owner) : CWorkerBase(owner) {}

  // work runs on the new thread and should return soon after stop is set; done or failed runs on
  // the screen thread, and only while this request is the latest one.
  bool Start(Work work, Done done, Failed failed = {}) {
    return Launch(
        [work = std::move(work),
         done = std::move(done)](const std::atomic<bool>& stop) -> std::function<void()> {
          auto result = std::make_shared<R>(work(stop));
          return [done, result] {
            if (done) done(*result);
          };
        },
        std::move(failed));
  }
};
