#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Channel.h"

namespace xmlpellor {

// How a helper process ended: its exit code, or the signal that ended it.
struct ExitStatus {
  int code = 0;
  int signal = 0;  // 0 when it exited by itself
  // This process killed it (Kill), so the signal says nothing of the helper.
  bool killedHere = false;
  // The kernel's out-of-memory killer ended some process while the helper
  // ran; with a SIGKILL not sent from here, most likely the helper.
  bool outOfMemoryKill = false;
};

// A signal in words a user understands: "segmentation fault", "aborted".
std::string SignalDescription(int signal);

// A helper program running apart from this process. It talks over one
// message channel (whole messages, never split or merged) and writes its
// bulk output into a shared in-memory file, so large results cross without
// a copy through the channel.
class IHelperProcess {
 public:
  // Kills and reaps a helper that is still running.
  virtual ~IHelperProcess() = default;

  // False when the helper has gone.
  virtual bool Send(const std::string& message) = 0;
  // Waits for the next message; false once the helper has closed its end,
  // died or been killed.
  virtual bool Receive(std::string& message) = 0;
  // Ends the helper at once, and a Receive waiting or to come returns false
  // without waiting for the kernel to free the helper's memory. Safe from any
  // thread, also after it has ended.
  virtual void Kill() noexcept = 0;
  // Waits for the helper to end and says how it did.
  virtual ExitStatus Wait() = 0;
  // True once the helper has ended (and is reaped); never waits.
  virtual bool Ended() = 0;
  // The first `size` bytes the helper wrote into the shared file.
  virtual std::string Output(std::uint64_t size) = 0;
};

// What to start: the program, its arguments and its whole environment
// ("NAME=value" each; nothing of this process's own is passed on).
struct HelperCommand {
  std::string program;
  std::vector<std::string> arguments;
  std::vector<std::string> environment;
};

// Starts helper programs: each gets the channel as file descriptor 3 and the
// shared output file as 4, /dev/null on 0 to 2, and none of this process's
// other descriptors; a session of its own, so it has no controlling terminal
// to type into and a Ctrl+C in the terminal is the window's to handle; and
// default signal handling. A helper learns that this process has ended from
// its channel: the kernel closes this side of it however this process ends.
class IProcessLauncher {
 public:
  virtual ~IProcessLauncher() = default;
  virtual std::unique_ptr<IHelperProcess> Start(const HelperCommand& command) = 0;
};

class PosixProcessLauncher final : public IProcessLauncher {
 public:
  std::unique_ptr<IHelperProcess> Start(const HelperCommand& command) override;
};

// What a process may use when nobody says otherwise: half of the
// machine's physical memory.
std::uint64_t DefaultMemoryLimit();

}  // namespace xmlpellor
