#pragma once

#include <cstdlib>
#include <string>

namespace xmlpellor::test {

// A file under tests/data, by its path below that folder.
inline std::string DataPath(const std::string& relative) {
  const char* root = std::getenv("XMLPELLOR_TEST_DATA");
  return std::string(root ? root : "tests/data") + "/" + relative;
}

}  // namespace xmlpellor::test
