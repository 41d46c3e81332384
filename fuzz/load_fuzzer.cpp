#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string finding = xmlpellor::fuzz::LoadOne(data, size);
  if (!finding.empty()) {
    std::fprintf(stderr, "invariant broken: %s\n", finding.c_str());
    std::abort();
  }
  return 0;
}
