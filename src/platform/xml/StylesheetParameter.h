#pragma once

#include <string>

namespace xmlpellor::xml {

// A value for a global parameter, as xsltproc's --stringparam (text) and
// --param (an XPath expression) give one.
struct GlobalParameter {
  std::string name;
  std::string value;
  bool xpath = false;

  bool operator==(const GlobalParameter&) const = default;
};

// A top-level xsl:param of a compiled stylesheet or of one it includes or
// imports: its name as written and its default, the select expression or
// else the text of its content.
struct DeclaredParameter {
  std::string name;
  std::string defaultText;

  bool operator==(const DeclaredParameter&) const = default;
};

}  // namespace xmlpellor::xml
