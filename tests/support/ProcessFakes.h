#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Process.h"

namespace xmlpellor::test {

// A helper process that plays back the messages a test gave it, then ends
// as the test said; what it was sent and whether it was killed are kept.
class FakeHelperProcess final : public IHelperProcess {
 public:
  struct Script {
    std::vector<std::string> messages;
    ExitStatus ending;
    std::string output;
    // Runs before the first message is handed out, e.g. to stop the job.
    std::function<void()> onFirstReceive;
    // It has ended before it was given a job.
    bool diedWaiting = false;
  };
  struct Record {
    std::vector<std::string> sent;
    bool killed = false;
  };

  FakeHelperProcess(Script script, Record& record)
      : m_script(std::move(script)),
        m_pending(m_script.messages.begin(), m_script.messages.end()),
        m_record(record) {}

  bool Send(const std::string& message) override {
    if (m_script.diedWaiting) return false;
    m_record.sent.push_back(message);
    return true;
  }
  bool Receive(std::string& message) override {
    if (m_script.onFirstReceive) std::exchange(m_script.onFirstReceive, nullptr)();
    if (m_record.killed || m_script.diedWaiting || m_pending.empty()) return false;
    message = m_pending.front();
    m_pending.pop_front();
    return true;
  }
  void Kill() noexcept override { m_record.killed = true; }
  ExitStatus Wait() override {
    return m_record.killed ? ExitStatus{0, 9, true, false} : m_script.ending;
  }
  bool Ended() override { return m_record.killed || m_script.diedWaiting; }
  std::string Output(std::uint64_t size) override { return m_script.output.substr(0, size); }

 private:
  Script m_script;
  std::deque<std::string> m_pending;
  Record& m_record;
};

// Starts fake helpers, each from the next of `firstScripts` and then from
// `script`; counts the starts and keeps the last command.
class FakeProcessLauncher final : public IProcessLauncher {
 public:
  FakeHelperProcess::Script script;
  std::deque<FakeHelperProcess::Script> firstScripts;
  std::vector<FakeHelperProcess::Record> records = std::vector<FakeHelperProcess::Record>(8);
  int starts = 0;
  HelperCommand command;

  std::unique_ptr<IHelperProcess> Start(const HelperCommand& started) override {
    command = started;
    FakeHelperProcess::Script next = script;
    if (!firstScripts.empty()) {
      next = std::move(firstScripts.front());
      firstScripts.pop_front();
    }
    return std::make_unique<FakeHelperProcess>(std::move(next),
                                               records.at(static_cast<std::size_t>(starts++)));
  }
};

}  // namespace xmlpellor::test
