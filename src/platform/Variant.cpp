#include "platform/Variant.h"

#include "platform/RuntimeError.h"

namespace xmlpellor {

const std::string& StringArray::At(int index) const {
  if (index < lowerBound || index > UBound()) {
    throw RuntimeError(err::kSubscriptOutOfRange, "Subscript out of range");
  }
  return items[static_cast<std::size_t>(index - lowerBound)];
}

std::string ToString(const Variant& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  if (IsEmpty(v)) return {};
  throw RuntimeError(err::kTypeMismatch, "Type mismatch");
}

}  // namespace xmlpellor
