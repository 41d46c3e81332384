#include "platform/Worker.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "platform/RuntimeError.h"

namespace xmlpellor {

namespace {

thread_local StopToken* tCurrentToken = nullptr;

}  // namespace

StopToken::Hook::Hook(StopToken* token, std::function<void()> onStop) : m_token(token) {
  if (m_token == nullptr) return;
  std::lock_guard lock(m_token->m_mutex);
  m_entry = m_token->m_hooks.insert(m_token->m_hooks.end(), std::move(onStop));
  // A stop that came between two phases finds no hook of the next one.
  if (m_token->StopRequested()) (*m_entry)();
}

StopToken::Hook::~Hook() {
  if (m_token == nullptr) return;
  std::lock_guard lock(m_token->m_mutex);
  m_token->m_hooks.erase(m_entry);
}

void StopToken::RequestStop() noexcept {
  m_stop.store(true, std::memory_order_release);
  std::lock_guard lock(m_mutex);
  for (auto& hook : m_hooks) {
    try {
      hook();
    } catch (...) {
    }
  }
}

void StopToken::Reset() noexcept {
  m_stop.store(false, std::memory_order_release);
}

StopToken* StopToken::Current() noexcept {
  return tCurrentToken;
}

void StopToken::SetCurrent(StopToken* token) noexcept {
  tCurrentToken = token;
}

StackThread::StackThread(const std::function<void()>& job, StopToken& token,
                         std::function<void()> finished, std::size_t stackBytes)
    : m_job(job), m_token(token), m_onFinished(std::move(finished)) {
  pthread_attr_t attributes;
  int failed = pthread_attr_init(&attributes);
  if (failed == 0) failed = pthread_attr_setstacksize(&attributes, stackBytes);
  if (failed == 0) failed = pthread_create(&m_thread, &attributes, &StackThread::Main, this);
  pthread_attr_destroy(&attributes);
  if (failed != 0) {
    m_joined = true;
    throw RuntimeError(
        failed == ENOMEM || failed == EAGAIN ? err::kOutOfMemory : err::kInternalError,
        "The transformation could not be started: " + std::string(std::strerror(failed)));
  }
}

StackThread::~StackThread() {
  if (!m_joined) pthread_join(m_thread, nullptr);
}

void StackThread::Join() {
  if (!m_joined) {
    pthread_join(m_thread, nullptr);
    m_joined = true;
  }
  if (m_error) std::rethrow_exception(std::exchange(m_error, nullptr));
}

bool StackThread::WaitFor(std::chrono::milliseconds patience) {
  std::unique_lock lock(m_mutex);
  return m_ended.wait_for(lock, patience, [this] { return Finished(); });
}

void* StackThread::Main(void* self) noexcept {
  auto* thread = static_cast<StackThread*>(self);
  StopToken::SetCurrent(&thread->m_token);
  try {
    thread->m_job();
  } catch (...) {
    thread->m_error = std::current_exception();
  }
  StopToken::SetCurrent(nullptr);
  {
    std::lock_guard lock(thread->m_mutex);
    thread->m_finished.store(true, std::memory_order_release);
  }
  thread->m_ended.notify_all();
  if (thread->m_onFinished) thread->m_onFinished();
  return nullptr;
}

void BlockingWorker::Run(const std::function<void()>& job) {
  m_token.Reset();
  StackThread thread(job, m_token, nullptr);
  thread.Join();
}

}  // namespace xmlpellor
