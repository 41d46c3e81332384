#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "main_window/StylesheetParameters.h"

namespace xmlpellor::test {
namespace {

using Values = std::vector<xml::GlobalParameter>;
using Row = StylesheetParameters::Row;

struct ParametersCase {
  const char* name;
  std::function<void(StylesheetParameters&)> steps;
  Values values;  // what the next Apply gives
  std::vector<Row> rows;
};

class HeldParameters : public ::testing::TestWithParam<ParametersCase> {};

TEST_P(HeldParameters, AreWhatTheNextApplyGives) {
  const ParametersCase& c = GetParam();
  StylesheetParameters parameters;
  c.steps(parameters);
  EXPECT_EQ(parameters.Values(), c.values);
  EXPECT_EQ(parameters.Rows(), c.rows);
}

const Values kGiven{{"a", "1"}, {"b", "2", true}, {"a", "3"}};
const std::vector<xml::DeclaredParameter> kDeclared{{"b", "'x'"}, {"c", ""}};

INSTANTIATE_TEST_SUITE_P(
    Cases, HeldParameters,
    ::testing::Values(
        ParametersCase{"command_line_later_wins", [](auto& p) { p.SetGiven(kGiven); },
                       {{"a", "3"}, {"b", "2", true}},
                       {{"a", std::nullopt, xml::GlobalParameter{"a", "3"}},
                        {"b", std::nullopt, xml::GlobalParameter{"b", "2", true}}}},
        ParametersCase{"declared_first_then_the_rest",
                       [](auto& p) {
                         p.SetGiven(kGiven);
                         p.Use("/s.xsl");
                         p.Declared(kDeclared);
                       },
                       {{"a", "3"}, {"b", "2", true}},
                       {{"b", "'x'", xml::GlobalParameter{"b", "2", true}},
                        {"c", "", std::nullopt},
                        {"a", std::nullopt, xml::GlobalParameter{"a", "3"}}}},
        // What was set before the first Apply was meant for its stylesheet.
        ParametersCase{"set_before_any_apply_is_kept",
                       [](auto& p) {
                         p.Set({"c", "early"});
                         p.Use("/s.xsl");
                       },
                       {{"c", "early"}},
                       {{"c", std::nullopt, xml::GlobalParameter{"c", "early"}}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xmlpellor::test
