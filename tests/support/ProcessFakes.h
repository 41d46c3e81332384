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
  };
  struct Record {
    std::vector<std::string> sent;
    bool killed = false;
  };

  FakeHelperProcess(Script script, Record& record)
      : m_script(std::move(script)), m_pending(m_script.messages.begin(), m_script.messages.end()),
        m_record(record) {}

  bool Send(const std::string& message) override {
    m_record.sent.push_back(message);
    return true;
  }
  bool Receive(std::string& message) override {
    if (m_script.onFirstReceive) std::exchange(m_script.onFirstReceive, nullptr)();
    if (m_record.killed || m_pending.empty()) return false;
    message = m_pending.front();
    m_pending.pop_front();
    return true;
  }
  void Kill() noexcept override { m_record.killed = true; }
  ExitStatus Wait() override { return m_record.killed ? ExitStatus{0, 9} : m_script.ending; }
  bool Ended() override { return true; }
  std::string Output(std::uint64_t size) override { return m_script.output.substr(0, size); }

 private:
  Script m_script;
  std::deque<std::string> m_pending;
  Record& m_record;
};

// Starts fake helpers from the script of the test; counts the starts.
class FakeProcessLauncher final : public IProcessLauncher {
 public:
  FakeHelperProcess::Script script;
  std::vector<FakeHelperProcess::Record> records = std::vector<FakeHelperProcess::Record>(8);
  int starts = 0;

  std::unique_ptr<IHelperProcess> Start(const std::string&, const std::vector<std::string>&) override {
    return std::make_unique<FakeHelperProcess>(script, records.at(static_cast<std::size_t>(starts++)));
  }
};

}  // namespace xmlpellor::test
