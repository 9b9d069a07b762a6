// Hypotheses as text: what parses to which rows, what is refused with which
// message, and rows written as text that parse back to themselves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ineqbf/ineqbf.h"

namespace {

using ineqbf::Constraint;
using ineqbf::Hypothesis;

const std::vector<std::string> names = {"b1", "b2", "(Intercept)", "θ1"};

// A row as the engine sees it: coefficients then rhs, rounded to float.
std::vector<float> as_float(const Constraint& row) {
  std::vector<float> v(row.coefficients.begin(), row.coefficients.end());
  v.push_back(static_cast<float>(row.rhs));
  return v;
}

std::string usage_error(const std::string& text, const std::vector<std::string>& over) {
  try {
    ineqbf::parse_hypotheses(text, over);
  } catch (const ineqbf::Error& e) {
    EXPECT_EQ(e.status(), ineqbf::Status::usage) << text;
    return e.message();
  }
  return "(parsed)";
}

TEST(hypothesis, ParsesToRows) {
  const struct {
    std::string text;
    std::vector<Hypothesis> expected;
  } cases[] = {
      {"b1 > b2 > θ1", {{"b1 > b2 > θ1", {{{1, -1, 0, 0}, 0}, {{0, 1, 0, -1}, 0}}}}},
      {"-1 < b2 < 1", {{"-1 < b2 < 1", {{{0, 1, 0, 0}, -1}, {{0, -1, 0, 0}, -1}}}}},
      {"b1 > b2 < θ1", {{"b1 > b2 < θ1", {{{1, -1, 0, 0}, 0}, {{0, -1, 0, 1}, 0}}}}},
      {"b1 <= b2", {{"b1 <= b2", {{{-1, 1, 0, 0}, 0}}}}},
      {"b1 + b1 > b2", {{"b1 + b1 > b2", {{{2, -1, 0, 0}, 0}}}}},
      {"(b1 + b2)/2 > 2*(θ1 - 0.5)", {{"(b1 + b2)/2 > 2*(θ1 - 0.5)", {{{0.5, 0.5, 0, -2}, -1}}}}},
      {"b1/3 - 3*b2*2 >= -1.5e1", {{"b1/3 - 3*b2*2 >= -1.5e1", {{{1.0 / 3, -6, 0, 0}, -15}}}}},
      {"-(b1 - 2) > -b2 + 1e-1", {{"-(b1 - 2) > -b2 + 1e-1", {{{-1, 1, 0, 0}, 0.1 - 2}}}}},
      {"`(Intercept)` > .25 & θ1 < 5E-1",
       {{"`(Intercept)` > .25 & θ1 < 5E-1", {{{0, 0, 1, 0}, 0.25}, {{0, 0, 0, -1}, -0.5}}}}},
      {"  b1\n>\tb2 ;\n b2 > 0 ;  ", {{"b1\n>\tb2", {{{1, -1, 0, 0}, 0}}}, {"b2 > 0", {{{0, 1, 0, 0}, 0}}}}},
  };
  for (const auto& c : cases) {
    const std::vector<Hypothesis> got = ineqbf::parse_hypotheses(c.text, names);
    ASSERT_EQ(got.size(), c.expected.size()) << c.text;
    for (size_t h = 0; h < got.size(); ++h) {
      EXPECT_EQ(got[h].text, c.expected[h].text);
      ASSERT_EQ(got[h].constraints.size(), c.expected[h].constraints.size()) << c.text;
      for (size_t k = 0; k < got[h].constraints.size(); ++k) {
        EXPECT_EQ(got[h].constraints[k].coefficients, c.expected[h].constraints[k].coefficients) << c.text;
        EXPECT_EQ(got[h].constraints[k].rhs, c.expected[h].constraints[k].rhs) << c.text;
      }
    }
  }
}

TEST(hypothesis, RefusesWithMessage) {
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"", "the text holds no hypothesis"},
      {"b1 > b4", "unknown parameter \"b4\" at column 6; parameters are b1, b2, `(Intercept)`, θ1"},
      {"b1 > >", "expected a name, a number or \"(\" at column 6, found \">\""},
      {"b1 > b2 &", "expected a name, a number or \"(\" at column 10, found the end of the text"},
      {"b1 + b2", "expected \">\" or \"<\" after the expression at column 1"},
      {"b1 > b2 b1", "expected an operator at column 9, found \"b1\""},
      {"b1 > b2)", "unmatched \")\" at column 8"},
      {"b1 * b2 > 0", "\"b1 * b2\" at column 1 is not linear: a product of two parameters"},
      {"θ1 > 1 / (b1 - 1)", "\"1 / (b1 - 1)\" at column 6 is not linear: a division by a parameter"},
      {"b1 > b2;;b2 > 0", "empty hypothesis at column 9"},
      {"b1 > b2;;", "empty hypothesis at column 9"},
      {"b1 = b2", "equality constraints are not supported (\"=\" at column 4); write inequalities with > or <"},
      {"b1 >= 0 & b1 == b2", "equality constraints are not supported (\"==\" at column 14); write inequalities with > or <"},
      {"b1 > (b2 + 1", "unclosed \"(\" at column 6"},
      {"b1 > `b2", "unclosed backquote at column 6"},
      {"b1 > #", "unexpected character \"#\" at column 6"},
      {"b1 > b2 / (1 - 1)", "division by zero at column 11"},
      {"b1 > 1e999", "number \"1e999\" at column 6 is out of range"},
      {"1 > 0", "constraint \"1 > 0\" at column 1 involves no parameter"},
      {"b1 > 0 > b1 - b1", "constraint \"0 > b1 - b1\" at column 6 involves no parameter"},
      {"1e30*1e30*b1 > 0", "constraint \"1e30*1e30*b1 > 0\" at column 1 has a value beyond single precision"},
      {std::string(101, '(') + "b1", "parentheses nested deeper than 100 at column 101"},
  };
  for (const auto& c : cases) EXPECT_EQ(usage_error(c.text, names), c.message) << c.text;
}

TEST(hypothesis, RefusesNames) {
  const struct {
    std::vector<std::string> names;
    std::string message;
  } cases[] = {
      {{"b1", ""}, "parameter name 2 is empty"},
      {{"b1", "b2", "b1"}, "parameter name \"b1\" is given twice (names 1 and 3)"},
      {{"a`b"}, "parameter name \"a`b\" contains a backquote"},
  };
  for (const auto& c : cases) EXPECT_EQ(usage_error("b1 > 0", c.names), c.message);
}

TEST(hypothesis, WritesRowsThatReadBack) {
  const struct {
    std::vector<double> coefficients;
    double rhs;
    std::string text;
  } cases[] = {
      {{1, -2, 0, 0}, 0.5, "b1 - 2*b2 > 0.5"},
      {{-1, 0, 1, 0}, -0.0, "-b1 + `(Intercept)` > 0"},
      {{0, -1, 0, -2.5}, -1, "-b2 - 2.5*θ1 > -1"},
      {{-2, 0.1, 0, 1}, 1e-7, "-2*b1 + 0.1*b2 + θ1 > 1e-07"},
      {{1e-50, 1.0 / 3, 0, -1e20}, 1.0 + 1e-12, "0.33333334*b2 - 1e+20*θ1 > 1"},
      {{0, 0, 0, 0}, 3, "0 > 3"},
  };
  for (const auto& c : cases) {
    const Constraint row{c.coefficients, c.rhs};
    const std::string text = ineqbf::constraint_text(row, names);
    EXPECT_EQ(text, c.text);
    if (text.starts_with("0 >")) continue;  // a row without parameters does not parse
    const auto back = ineqbf::parse_hypotheses(text, names);
    ASSERT_EQ(back.size(), 1u);
    ASSERT_EQ(back[0].constraints.size(), 1u);
    EXPECT_EQ(as_float(back[0].constraints[0]), as_float(row)) << text;
  }
  EXPECT_THROW(ineqbf::constraint_text({{1, 2}, 0}, names), ineqbf::Error);
}

TEST(hypothesis, DefaultNames) {
  EXPECT_EQ(ineqbf::default_names(3), (std::vector<std::string>{"theta1", "theta2", "theta3"}));
  EXPECT_TRUE(ineqbf::default_names(0).empty());
  EXPECT_TRUE(ineqbf::default_names(-2).empty());
}

// A second spelling of a parameter (a model's label beside the name it
// was given) adds to that parameter's coefficients; an unknown name is
// answered with the names alone; a parameter less its own alias is refused.
TEST(hypothesis, AliasesAddToTheirParameters) {
  const std::vector<std::string> bare = {"Intercept", "x_z"}, aliases = {"(Intercept)", "x:z"};
  const std::vector<size_t> of = {0, 1};
  const auto hs = ineqbf::parse_hypotheses("`(Intercept)` > 2*x_z - `x:z` + 1", bare, aliases, of);
  ASSERT_EQ(hs.size(), 1u);
  EXPECT_EQ(hs[0].constraints[0].coefficients, (std::vector<double>{1.0, -1.0}));
  EXPECT_EQ(hs[0].constraints[0].rhs, 1.0);
  try {
    ineqbf::parse_hypotheses("Intercept > b", bare, aliases, of);
    ADD_FAILURE();
  } catch (const ineqbf::Error& e) {
    EXPECT_EQ(e.message(), "unknown parameter \"b\" at column 13; parameters are Intercept, x_z");
  }
  try {
    ineqbf::parse_hypotheses("x_z > 0; x_z > `x:z`", bare, aliases, of);
    ADD_FAILURE();
  } catch (const ineqbf::Error& e) {
    EXPECT_EQ(e.message(), "constraint 1 of hypothesis \"x_z > `x:z`\" involves no parameter");
  }
  EXPECT_THROW(ineqbf::parse_hypotheses("x_z > 0", bare, aliases, {0}), ineqbf::Error);
  EXPECT_THROW(ineqbf::parse_hypotheses("x_z > 0", bare, aliases, {0, 2}), ineqbf::Error);
}

}  // namespace
