#pragma once

#include <cstdint>
#include <string>

namespace xmlpellor {

// Shows that a run is going on: what it is doing and for how long. Short
// runs show nothing; the display comes only once a run has lasted a while.
class IProgress {
 public:
  virtual ~IProgress() = default;
  virtual void Begin() = 0;
  // What the run does now ("Reading the document"); `total` is 0 when the
  // amount of work is not known.
  virtual void Phase(const std::string& phase, std::uint64_t done, std::uint64_t total) = 0;
  virtual void End() = 0;
};

}  // namespace xmlpellor
