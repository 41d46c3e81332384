#include <gtest/gtest.h>

#include "platform/RuntimeError.h"
#include "platform/Variant.h"

namespace xmlpellor::test {
namespace {

TEST(Variant, EmptyReadsAsEmptyStringAndArrayIsTypeMismatch) {
  EXPECT_EQ(ToString(Variant{}), "");
  EXPECT_EQ(ToString(Variant{std::string("x")}), "x");
  try {
    ToString(Variant{StringArray{}});
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kTypeMismatch);
  }
}

TEST(Variant, ArrayIndexesFromItsLowerBound) {
  const StringArray a{1, {"name", "value"}};
  EXPECT_EQ(a.UBound(), 2);
  EXPECT_EQ(a.At(1), "name");
  EXPECT_EQ(a.At(2), "value");
  EXPECT_THROW(a.At(0), RuntimeError);
  EXPECT_THROW(a.At(3), RuntimeError);
  EXPECT_EQ((StringArray{0, {}}).UBound(), -1);
}

}  // namespace
}  // namespace xmlpellor::test
