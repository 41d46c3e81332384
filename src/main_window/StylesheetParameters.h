#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/xml/StylesheetParameter.h"

namespace xmlpellor {

// The global parameters the window gives a stylesheet: those of the command
// line, and what the user set or cleared in the parameters panel, which
// holds while the same stylesheet stays in the box. Also what the last run
// of that stylesheet said it declares.
class StylesheetParameters {
 public:
  // One line of the panel: a declared parameter, or a value for a name the
  // stylesheet was not seen to declare.
  struct Row {
    std::string name;
    // Empty for a name that is not declared, or not known to be.
    std::optional<std::string> defaultText;
    // Empty while the default holds.
    std::optional<xml::GlobalParameter> value;

    bool operator==(const Row&) const = default;
  };

  // The command line's values, the later of one name winning: every
  // stylesheet starts from them.
  void SetGiven(const std::vector<xml::GlobalParameter>& given);

  // An Apply is about to run `stylesheet`. Another one than before takes
  // the command line's values again and forgets what the last declared;
  // the first one keeps what was set before any Apply.
  void Use(const std::string& stylesheet);
  // The run of the stylesheet in use compiled it and found these.
  void Declared(std::vector<xml::DeclaredParameter> declared);

  // Replaces the value of that name, or adds one.
  void Set(const xml::GlobalParameter& value);
  // Back to the default.
  void Clear(const std::string& name);

  const std::vector<xml::GlobalParameter>& Values() const noexcept { return m_values; }
  const std::string& Stylesheet() const noexcept { return m_stylesheet; }
  // Whether a run has said what the stylesheet in use declares.
  bool Known() const noexcept { return m_known; }
  // The declared parameters in the stylesheet's order, then the values
  // for names it does not declare.
  std::vector<Row> Rows() const;

 private:
  std::vector<xml::GlobalParameter> m_given;
  std::vector<xml::GlobalParameter> m_values;
  std::vector<xml::DeclaredParameter> m_declared;
  std::string m_stylesheet;
  bool m_known = false;
};

}  // namespace xmlpellor
