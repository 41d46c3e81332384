#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "wire/JobWire.h"

// What every engine process does around its job, whichever processor runs
// it.
namespace xmlpellor::engine {

// The output goes into memory, not into a file, so the limit the window's
// files have does not bound it; the window's own write still meets it.
void LiftFileSizeLimit();

// Blocks until `doneFd` is readable, true, or until the window has gone,
// false, in which case the engine has nobody left to work for.
bool WaitUnlessAbandoned(int doneFd);

// A window that went away makes a send fail; the job ends all the same.
void SendToWindow(std::string_view message) noexcept;

// Telling the window that memory ran out must not need any: the message is
// made before the job starts, and said once however many allocations fail
// (also from a VM's abort hook, so nothing here allocates).
void PrepareOverLimit();
void SayOverLimit() noexcept;

// The outcome of a job that ran to its end: the document that did not
// load, or the profile when one was asked for, the files the stylesheet
// wrote (their bytes put after the output's `outputSize` already in the
// shared file), then the output.
void Answer(const wire::JobResult& result, std::uint64_t outputSize);

// What a job says as it runs, sent to the window on the channel as it
// comes; a window that went away makes a send fail, and the job ends all
// the same.
class ChannelEvents final : public wire::JobEvents {
 public:
  void Phase(wire::JobPhase phase) override;
  void Reading(const std::string& path) override;
  void Progress(std::uint64_t done, std::uint64_t total) override;
  void Message(const std::string& line) override;
  void Parameters(const std::vector<xml::DeclaredParameter>& declared) override;
};

}  // namespace xmlpellor::engine
