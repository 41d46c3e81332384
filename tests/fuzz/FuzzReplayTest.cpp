#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzTargets.h"

namespace xmlpellor::test {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> InputsOf(const std::string& target) {
  const char* root = std::getenv("XMLPELLOR_FUZZ_DIR");
  const fs::path fuzz = root != nullptr ? root : "fuzz";
  std::vector<fs::path> inputs;
  for (const char* kind : {"corpus", "regressions"}) {
    const fs::path dir = fuzz / kind / target;
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir)) {
      const std::string name = entry.path().filename().string();
      if (entry.is_regular_file() && name.front() != '.') inputs.push_back(entry.path());
    }
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

std::vector<std::uint8_t> Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <class Run>
void ReplayAll(const std::string& target, std::size_t atLeast, Run run) {
  const auto inputs = InputsOf(target);
  EXPECT_GE(inputs.size(), atLeast) << "the seed corpus of " << target << " is missing";
  for (const fs::path& input : inputs) {
    const auto bytes = Bytes(input);
    EXPECT_EQ(run(bytes.data(), bytes.size()), "") << input;
  }
}

TEST(FuzzReplay, DocumentLoadInputsKeepTheirInvariants) {
  ReplayAll("load", 5, fuzz::LoadOne);
}

TEST(FuzzReplay, TransformationInputsKeepTheirInvariants) {
  ReplayAll("transform", 5, fuzz::TransformOne);
}

}  // namespace
}  // namespace xmlpellor::test
