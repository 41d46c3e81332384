#pragma once

#include <ctime>

namespace xmlpellor {

// The local date and time, behind an interface so a test can fix it.
class IClock {
 public:
  virtual ~IClock() = default;
  virtual std::tm Now() const = 0;
};

class SystemClock final : public IClock {
 public:
  std::tm Now() const override {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return local;
  }
};

}  // namespace xmlpellor
