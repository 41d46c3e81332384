#include "main_window/StylesheetParameters.h"

#include <algorithm>
#include <utility>

namespace xmlpellor {

namespace {

void Put(std::vector<xml::GlobalParameter>& values, const xml::GlobalParameter& value) {
  const auto same = std::find_if(values.begin(), values.end(),
                                 [&](const auto& held) { return held.name == value.name; });
  if (same != values.end()) {
    *same = value;
  } else {
    values.push_back(value);
  }
}

}  // namespace

void StylesheetParameters::SetGiven(const std::vector<xml::GlobalParameter>& given) {
  m_given.clear();
  for (const auto& value : given) Put(m_given, value);
  m_values = m_given;
}

void StylesheetParameters::Use(const std::string& stylesheet) {
  if (stylesheet == m_stylesheet) return;
  if (!m_stylesheet.empty()) {
    m_values = m_given;
    m_declared.clear();
    m_known = false;
  }
  m_stylesheet = stylesheet;
}

void StylesheetParameters::Declared(std::vector<xml::DeclaredParameter> declared) {
  m_declared = std::move(declared);
  m_known = true;
}

void StylesheetParameters::Set(const xml::GlobalParameter& value) {
  Put(m_values, value);
}

void StylesheetParameters::Clear(const std::string& name) {
  std::erase_if(m_values, [&](const auto& held) { return held.name == name; });
}

std::vector<StylesheetParameters::Row> StylesheetParameters::Rows() const {
  std::vector<Row> rows;
  auto valueOf = [this](const std::string& name) -> std::optional<xml::GlobalParameter> {
    for (const auto& value : m_values) {
      if (value.name == name) return value;
    }
    return std::nullopt;
  };
  for (const auto& declared : m_declared) {
    rows.push_back({declared.name, declared.defaultText, valueOf(declared.name)});
  }
  for (const auto& value : m_values) {
    const bool listed =
        std::any_of(m_declared.begin(), m_declared.end(),
                    [&](const auto& declared) { return declared.name == value.name; });
    if (!listed) rows.push_back({value.name, std::nullopt, value});
  }
  return rows;
}

}  // namespace xmlpellor
