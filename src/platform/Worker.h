#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <list>
#include <mutex>

#include <pthread.h>

namespace xmlpellor {

// Asks a running job to end early. The job registers a hook that knows how
// to interrupt it (a job run in another process ends that process); a
// stop sets the flag, then runs every hook registered at that moment, on
// the thread that asked. Registration and the hooks share one mutex, so a
// hook never runs after the job has unregistered it (and freed what the
// hook touches).
class StopToken {
 public:
  // Registers `onStop` for as long as it lives. A stop asked for before the
  // registration runs `onStop` at once, on the registering thread. A null
  // token registers nothing.
  class Hook {
   public:
    Hook(StopToken* token, std::function<void()> onStop);
    ~Hook();
    Hook(const Hook&) = delete;
    Hook& operator=(const Hook&) = delete;

   private:
    StopToken* m_token;
    std::list<std::function<void()>>::iterator m_entry;
  };

  bool StopRequested() const noexcept { return m_stop.load(std::memory_order_acquire); }
  void RequestStop() noexcept;
  void Reset() noexcept;

  // The token of the job running on this thread; null outside a job.
  static StopToken* Current() noexcept;

 private:
  friend class StackThread;
  static void SetCurrent(StopToken* token) noexcept;

  std::atomic<bool> m_stop{false};
  std::mutex m_mutex;
  std::list<std::function<void()>> m_hooks;
};

// Runs the libxml2/libxslt work of one command. A deep document and the
// template nesting allowed for it need more stack than a process's main
// thread has, so the job always runs on a thread of its own with a stack of
// kStackBytes; whatever the job throws is thrown again on the caller's
// thread.
class IWorker {
 public:
  // Room for the deepest template nesting libxslt is allowed, with a wide
  // margin for sanitizer builds. Only touched pages cost memory.
  static constexpr std::size_t kStackBytes = std::size_t{256} << 20;

  virtual ~IWorker() = default;
  // Returns when the job has ended. The token starts afresh for each job.
  virtual void Run(const std::function<void()>& job) = 0;
  virtual StopToken& Token() noexcept = 0;
};

// A thread with a stack of IWorker::kStackBytes (or `stackBytes`) running
// one job with a token; `finished` is called on that thread once the job
// has ended.
class StackThread {
 public:
  StackThread(const std::function<void()>& job, StopToken& token, std::function<void()> finished,
              std::size_t stackBytes = IWorker::kStackBytes);
  // Joins the thread.
  ~StackThread();
  StackThread(const StackThread&) = delete;
  StackThread& operator=(const StackThread&) = delete;

  bool Finished() const noexcept { return m_finished.load(std::memory_order_acquire); }
  // True when the job ended within `patience`.
  bool WaitFor(std::chrono::milliseconds patience);
  // Joins the thread, then throws what the job threw, if anything.
  void Join();

 private:
  static void* Main(void* self) noexcept;

  const std::function<void()>& m_job;
  StopToken& m_token;
  std::function<void()> m_onFinished;
  std::exception_ptr m_error;
  std::atomic<bool> m_finished{false};
  std::mutex m_mutex;
  std::condition_variable m_ended;
  pthread_t m_thread{};
  bool m_joined = false;
};

// Runs each job on its own big-stack thread and waits for it: for the
// command line, the benchmark, fuzzing and tests.
class BlockingWorker final : public IWorker {
 public:
  void Run(const std::function<void()>& job) override;
  StopToken& Token() noexcept override { return m_token; }

 private:
  StopToken m_token;
};

}  // namespace xmlpellor
