#pragma once

#include <string>
#include <variant>
#include <vector>

namespace xmlpellor {

// A one-dimensional array of texts whose first index is `lowerBound`.
struct StringArray {
  int lowerBound = 0;
  std::vector<std::string> items;

  int UBound() const { return lowerBound + static_cast<int>(items.size()) - 1; }
  // Throws run-time error 9 for an index outside the bounds.
  const std::string& At(int index) const;

  friend bool operator==(const StringArray&, const StringArray&) = default;
};

// What the window's functions take and return: nothing at all (the empty
// value), a text, or an array of texts.
using Variant = std::variant<std::monostate, std::string, StringArray>;

inline bool IsEmpty(const Variant& v) {
  return std::holds_alternative<std::monostate>(v);
}

// The empty value reads as the empty string; an array is a type mismatch
// (run-time error 13).
std::string ToString(const Variant& v);

}  // namespace xmlpellor
