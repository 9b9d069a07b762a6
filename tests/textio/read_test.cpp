// Free-format reads: the reading rules, conversion of values, record ends,
// reading from files, and the fatal errors of bad input.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "support/run.h"
#include "textio/textio.h"

namespace {

using textio::ReadItem;

constexpr double KEPT = -7.0;     // value of a variable before the read
constexpr int NO_CHECK = -99999;  // no following read checked

// Reads variables of the kinds given ('i' integer, 'r' real), all starting
// at KEPT, one item per variable. Returns their values as doubles.
std::vector<double> read_values(textio::InputUnit& in, const std::string& kinds) {
  std::vector<int32_t> ints(kinds.size(), static_cast<int32_t>(KEPT));
  std::vector<float> reals(kinds.size(), static_cast<float>(KEPT));
  std::vector<ReadItem> items;
  for (size_t i = 0; i < kinds.size(); ++i)
    items.push_back(kinds[i] == 'i' ? textio::int_item(ints[i]) : textio::real_item(reals[i]));
  in.read(items);
  std::vector<double> values;
  for (size_t i = 0; i < kinds.size(); ++i)
    values.push_back(kinds[i] == 'i' ? static_cast<double>(ints[i]) : static_cast<double>(reals[i]));
  return values;
}

int32_t read_int(textio::InputUnit& in) {
  int32_t v = -1;
  in.read({textio::int_item(v)});
  return v;
}

std::string temp_dir() {
  const std::string dir = std::string(::testing::TempDir()) + "textio_read_" +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

std::string write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return path;
}

// ---------------------------------------------------------------------------
// Reading rules: one read of the variables, then a read of one integer that
// shows where the first read left the file.

struct RuleCase {
  const char* name;
  std::string text;
  std::string kinds;
  std::vector<double> expected;
  int next;
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

class ReadRule : public ::testing::TestWithParam<RuleCase> {};

TEST_P(ReadRule, Values) {
  const RuleCase& c = GetParam();
  textio::InputUnit in;
  in.open_text(10, "Input.txt", c.text);
  EXPECT_EQ(read_values(in, c.kinds), c.expected);
  if (c.next != NO_CHECK) {
    EXPECT_EQ(read_int(in), c.next);
  }
}

std::string rule_name(const ::testing::TestParamInfo<RuleCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Separators, ReadRule,
    ::testing::Values(
        RuleCase{"Blanks", "3 2\n9\n", "ii", {3, 2}, 9},
        RuleCase{"ManyBlanks", "   3     2   \n9\n", "ii", {3, 2}, 9},
        RuleCase{"Tabs", "\t3\t\t2\n9\n", "ii", {3, 2}, 9},
        RuleCase{"Comma", "3,2\n9\n", "ii", {3, 2}, 9},
        RuleCase{"CommaWithBlanks", "3 ,  2\n9\n", "ii", {3, 2}, 9},
        RuleCase{"BlankThenComma", "3 ,2\n9\n", "ii", {3, 2}, 9},
        RuleCase{"TabsAroundComma", "3\t,\t2\n9\n", "ii", {3, 2}, 9},
        RuleCase{"TrailingCommaBeforeRecordEnd", "3,\n2\n9\n", "ii", {3, 2}, 9},
        RuleCase{"ValuesEndAtSlash", "1/2\n9\n", "ii", {1, KEPT}, 9}),
    rule_name);

INSTANTIATE_TEST_SUITE_P(
    Records, ReadRule,
    ::testing::Values(
        RuleCase{"SpanningRecords", "3\n2\n9\n", "ii", {3, 2}, 9},
        RuleCase{"SpanningBlankRecords", "3\n\n   \n2\n9\n", "ii", {3, 2}, 9},
        RuleCase{"RestOfRecordSkipped", "3 2 4 5\n9\n", "ii", {3, 2}, 9},
        RuleCase{"RestSkippedAfterSpanning", "1\n2 3 junk x/,\n9\n", "ii", {1, 2}, 9},
        RuleCase{"GarbageAfterLastValueIgnored", "1 abc\n9\n", "i", {1}, 9},
        RuleCase{"LineFeed", "1\n2\n9\n", "ii", {1, 2}, 9},
        RuleCase{"CarriageReturnLineFeed", "1\r\n2\r\n9\r\n", "ii", {1, 2}, 9},
        RuleCase{"LoneCarriageReturn", "1\r2\r9\r", "ii", {1, 2}, 9},
        RuleCase{"MixedRecordEnds", "1\r\r\n2 8\n\r9", "ii", {1, 2}, 9},
        RuleCase{"CarriageReturnThenBlankRecord", "1 2\r\r9\n", "ii", {1, 2}, NO_CHECK},
        RuleCase{"LastLineWithoutLineEnd", "1 2", "ii", {1, 2}, NO_CHECK},
        RuleCase{"NextReadAfterLastLine", "1\n9", "i", {1}, 9}),
    rule_name);

INSTANTIATE_TEST_SUITE_P(
    NullValues, ReadRule,
    ::testing::Values(
        RuleCase{"TwoCommas", "1,,3\n9\n", "iii", {1, KEPT, 3}, 9},
        RuleCase{"TwoCommasWithBlanks", "1 , , 3\n9\n", "iii", {1, KEPT, 3}, 9},
        RuleCase{"LeadingComma", ",2,3\n9\n", "iii", {KEPT, 2, 3}, 9},
        RuleCase{"LeadingCommaAfterBlanks", "   ,2 3\n9\n", "iii", {KEPT, 2, 3}, 9},
        RuleCase{"LeadingCommaOfLaterRecord", "1\n,3\n9\n", "iii", {1, KEPT, 3}, 9},
        RuleCase{"ThreeCommas", ",,,4\n9\n", "iiii", {KEPT, KEPT, KEPT, 4}, 9},
        RuleCase{"NullForReal", "1.5,,2.5\n9\n", "rrr", {1.5, KEPT, 2.5}, 9},
        RuleCase{"NullFillsLastVariable", "1,,\n9\n", "ii", {1, KEPT}, 9},
        RuleCase{"CommaAfterCommaAtRecordEnd", "1,\n,3\n9\n", "iii", {1, KEPT, 3}, 9}),
    rule_name);

INSTANTIATE_TEST_SUITE_P(
    Repeats, ReadRule,
    ::testing::Values(
        RuleCase{"RepeatedValue", "3*5\n9\n", "iii", {5, 5, 5}, 9},
        RuleCase{"RepeatedReal", "2*1.5 7\n9\n", "rrr", {1.5, 1.5, 7}, 9},
        RuleCase{"RepeatedNegative", "2*-4\n9\n", "ii", {-4, -4}, 9},
        RuleCase{"RepeatAcrossKinds", "3*2\n9\n", "iri", {2, 2, 2}, 9},
        RuleCase{"RepeatBeyondList", "5*1 8\n9\n", "ii", {1, 1}, 9},
        RuleCase{"HugeRepeat", "99999999999999999999*1\n9\n", "ii", {1, 1}, 9},
        RuleCase{"RepeatLeadingZero", "02*6\n9\n", "ii", {6, 6}, 9},
        RuleCase{"RepeatedNulls", "2* 7\n9\n", "iii", {KEPT, KEPT, 7}, 9},
        RuleCase{"RepeatedNullsThenComma", "1,2*,4\n9\n", "iiii", {1, KEPT, KEPT, 4}, 9},
        RuleCase{"RepeatedNullsAtRecordEnd", "2*\n5\n9\n", "iii", {KEPT, KEPT, 5}, 9},
        RuleCase{"RepeatedNullsThenSlash", "1*/\n9\n", "ii", {KEPT, KEPT}, 9}),
    rule_name);

INSTANTIATE_TEST_SUITE_P(
    Slash, ReadRule,
    ::testing::Values(
        RuleCase{"SlashEndsRead", "1 /\n2\n9\n", "iii", {1, KEPT, KEPT}, 2},
        RuleCase{"SlashFirst", "/ 1 2\n9\n", "ii", {KEPT, KEPT}, 9},
        RuleCase{"SlashAfterComma", "1,/\n9\n", "ii", {1, KEPT}, 9},
        RuleCase{"SlashOnLaterRecord", "1\n/\n9\n", "ii", {1, KEPT}, 9},
        RuleCase{"SlashAfterLastValueIgnored", "1 2 /\n9\n", "ii", {1, 2}, 9}),
    rule_name);

INSTANTIATE_TEST_SUITE_P(
    Numbers, ReadRule,
    ::testing::Values(
        RuleCase{"Exponents", "1e2 1E2 1d2 1D2\n9\n", "rrrr", {100, 100, 100, 100}, 9},
        RuleCase{"SignedExponents", "15e-1 2.D+1 -25.E-01 +.5d+0\n9\n", "rrrr", {1.5, 20, -2.5, 0.5}, 9},
        RuleCase{"PointForms", ".5 5. -0.25 +3.0\n9\n", "rrrr", {0.5, 5, -0.25, 3}, 9},
        RuleCase{"RealWithoutPointIsInteger", "7 -12 16777217\n9\n", "rrr", {7, -12, 16777216}, 9},
        RuleCase{"Integers", "+7 -12 007 -0\n9\n", "iiii", {7, -12, 7, 0}, 9},
        RuleCase{"IntegerLimits", "2147483647 -2147483648\n9\n", "ii",
                 {2147483647.0, -2147483648.0}, 9},
        RuleCase{"MixedKinds", "4 0.5 -3\n9\n", "iri", {4, 0.5, -3}, 9},
        RuleCase{"LongLeadingZeros", std::string(500, '0') + "1 0." + std::string(500, '0') + "\n9\n",
                 "rr", {1, 0}, 9},
        RuleCase{"UnderflowToZero", "1e-50 -1e-999999999999999999999\n9\n", "rr", {0, 0}, 9}),
    rule_name);

INSTANTIATE_TEST_SUITE_P(
    Headings, ReadRule,
    ::testing::Values(
        RuleCase{"TextHeading", "Number of parameters and of constraints\n2 2\n", "", {}, 2},
        RuleCase{"HeadingWithNumbers", "5 6 7\n2\n", "", {}, 2},
        RuleCase{"EmptyHeading", "\n2\n", "", {}, 2},
        RuleCase{"HeadingWithSeparatorsAndBadBytes", ",/*\t\x01\xff\xfe abc\n2\n", "", {}, 2},
        RuleCase{"HeadingWithNulByte", std::string("a\0b\n2\n", 6), "", {}, 2},
        RuleCase{"HeadingWithCarriageReturn", "abc\r2\n", "", {}, 2},
        RuleCase{"LastHeadingWithoutLineEnd", "abc", "", {}, NO_CHECK}),
    rule_name);

// The worked input file: four headings, counts, means, covariance rows and
// constraint rows, with the extras that read the same.
TEST(ReadInputFile, WorkedExample) {
  for (const char* text :
       {"Number of parameters and of constraints\n2 2\nMeans\n0.50 0.20\nCovariance matrix\n"
        "0.040 0.010\n0.010 0.090\nConstraints: coefficients, then right-hand side\n1 -1 0\n0 1 0\n",
        "Number of parameters and of constraints\r\n2,2\r\nMeans\r\n0.50\r\n0.20 99\r\nCovariance\r\n"
        "0.040 0.010 5\r\n0.010 0.090\r\nConstraints\r\n1 -1 0\r\n0 1 0 extra",
        "h\r2 2\rh\r0.50 0.20\rh\r0.040 0.010\r0.010 0.090\rh\r1 -1 0\r0 1 0\r"}) {
    textio::InputUnit in;
    in.open_text(10, "Input.txt", text);
    int32_t npar = 0, ncon = 0;
    in.read({});
    in.read({textio::int_item(npar), textio::int_item(ncon)});
    ASSERT_EQ(npar, 2);
    ASSERT_EQ(ncon, 2);
    float means[3] = {0, 0, 0};
    float cov[4] = {0, 0, 0, 0};
    float r[6] = {0, 0, 0, 0, 0, 0};
    in.read({});
    in.read({textio::reals_item(means, npar)});
    in.read({});
    // Row i of the matrix into COV(i,1..NPAR), stored column by column.
    for (int i = 0; i < npar; ++i) in.read({textio::reals_item(cov + i, npar, npar)});
    in.read({});
    for (int m = 0; m < ncon; ++m) in.read({textio::reals_item(r + m, npar + 1, ncon)});
    in.close();
    EXPECT_EQ(means[0], 0.5f);
    EXPECT_EQ(means[1], 0.2f);
    EXPECT_EQ(means[2], 0.0f);
    EXPECT_EQ(cov[0], 0.04f);
    EXPECT_EQ(cov[1], 0.01f);
    EXPECT_EQ(cov[2], 0.01f);
    EXPECT_EQ(cov[3], 0.09f);
    const float expected_r[6] = {1, 0, -1, 1, 0, 0};  // R(m,j) at m + j*NCON
    for (int k = 0; k < 6; ++k) EXPECT_EQ(r[k], expected_r[k]) << k;
  }
}

TEST(ReadInputFile, EmptyItemConsumesOneRecord) {
  textio::InputUnit in;
  in.open_text(10, "Input.txt", "1 2\n3\n");
  float none[1] = {5.0f};
  in.read({textio::reals_item(none, 0)});  // a read of zero means
  EXPECT_EQ(none[0], 5.0f);
  EXPECT_EQ(read_int(in), 3);
}

TEST(ReadInputFile, VeryLongLines) {
  const std::string blanks(3000000, ' ');
  textio::InputUnit in;
  in.open_text(10, "Input.txt", std::string(2000000, 'h') + "\n" + blanks + "5" + blanks + "6\n7\n");
  in.read({});
  int32_t a = 0, b = 0;
  in.read({textio::int_item(a), textio::int_item(b)});
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, 6);
  EXPECT_EQ(read_int(in), 7);
}

// ---------------------------------------------------------------------------
// Conversion of reals: correctly rounded from the decimal text.

struct RealCase {
  std::string text;
  float expected;
};

void PrintTo(const RealCase& c, std::ostream* os) { *os << '"' << c.text.substr(0, 60) << '"'; }

class RealConversion : public ::testing::TestWithParam<RealCase> {};

TEST_P(RealConversion, CorrectlyRounded) {
  const RealCase& c = GetParam();
  textio::InputUnit in;
  in.open_text(10, "Input.txt", c.text);
  float v = -7.0f;
  in.read({textio::real_item(v)});
  uint32_t got, want;
  std::memcpy(&got, &v, 4);
  std::memcpy(&want, &c.expected, 4);
  EXPECT_EQ(got, want) << c.text << " read as " << v;
}

const float FLT_MAX_ = std::numeric_limits<float>::max();
const float DENORM_MIN = std::numeric_limits<float>::denorm_min();
// 1 + 2^-24, exactly half-way between 1 and the next float.
const std::string ONE_TIE = "1.000000059604644775390625";

INSTANTIATE_TEST_SUITE_P(
    Values, RealConversion,
    ::testing::Values(
        RealCase{"0.1", 0.1f}, RealCase{"0.04", 0.04f}, RealCase{"-0.09", -0.09f},
        RealCase{"1661992960", 1661992960.0f}, RealCase{"1661992960.0", 1661992960.0f},
        RealCase{"3.4028235e38", FLT_MAX_}, RealCase{"3.4028235677973366e38", FLT_MAX_},
        RealCase{"1.17549435E-38", std::numeric_limits<float>::min()},
        RealCase{"1e-45", DENORM_MIN}, RealCase{"1.4D-45", DENORM_MIN},
        // Half the smallest subnormal is a tie that goes to the even zero;
        // anything above it rounds up.
        RealCase{"7.00649232162408535461864791644958065640130970938257885878534141944895541342930300743319094181060791015625e-46",
                 0.0f},
        RealCase{"7.0064923216240854e-46", DENORM_MIN}, RealCase{"-1e-50", -0.0f},
        RealCase{"-0", -0.0f}, RealCase{"0.0e999999", 0.0f},
        // Ties between floats go to even; a non-zero digit far behind
        // breaks the tie.
        RealCase{ONE_TIE, 1.0f},
        RealCase{ONE_TIE + std::string(400, '0') + "1", std::nextafter(1.0f, 2.0f)},
        RealCase{ONE_TIE + std::string(400, '0'), 1.0f},
        RealCase{"0.00001" + ONE_TIE.substr(2) + std::string(300, '0') + "1e5",
                 std::nextafter(1.0f, 2.0f)},
        RealCase{std::string("1") + std::string(38, '0'), 1e38f},
        RealCase{std::string("0.") + std::string(400, '0') + "1e401", 1.0f},
        RealCase{std::string("1") + std::string(400, '0') + "e-400", 1.0f},
        RealCase{"16777217", 16777216.0f}, RealCase{"16777219", 16777220.0f}));

// Many generated numbers, with long digit strings, leading zeros and
// exponents, read as the same floats as the C library's correctly rounded
// conversion of the same text gives.
TEST(RealConversionProperty, MatchesCorrectlyRoundedConversion) {
  std::mt19937 gen(20240601);
  auto pick = [&](int n) { return static_cast<int>(gen() % static_cast<unsigned>(n)); };
  auto digits = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('0' + pick(10));
    return s;
  };
  int checked = 0;
  for (int k = 0; k < 20000; ++k) {
    std::string text;
    if (pick(3) == 0) text += pick(2) ? '-' : '+';
    if (pick(4) == 0) text += std::string(static_cast<size_t>(pick(60)), '0');
    const int int_len = pick(4) == 0 ? pick(250) : pick(12);
    text += digits(int_len);
    int frac_len = 0;
    if (pick(3) != 0 || int_len == 0) {
      text += '.';
      frac_len = pick(4) == 0 ? pick(250) : pick(12);
      if (int_len == 0 && frac_len == 0) frac_len = 1;
      text += digits(frac_len);
    }
    if (pick(2) == 0) {
      text += "eEdD"[pick(4)];
      if (pick(2) == 0) text += pick(2) ? '-' : '+';
      text += std::to_string(pick(pick(2) ? 60 : 400));
    }
    std::string reference = text;
    for (char& ch : reference)
      if (ch == 'd' || ch == 'D') ch = 'e';
    const float want = std::strtof(reference.c_str(), nullptr);
    if (std::isinf(want)) continue;  // an overflow: error 64, tested elsewhere

    textio::InputUnit in;
    in.open_text(10, "Input.txt", text + "\n");
    float got = -7.0f;
    in.read({textio::real_item(got)});
    uint32_t got_bits, want_bits;
    std::memcpy(&got_bits, &got, 4);
    std::memcpy(&want_bits, &want, 4);
    ASSERT_EQ(got_bits, want_bits) << text;
    ++checked;
  }
  EXPECT_GT(checked, 10000);
}

// ---------------------------------------------------------------------------
// Fatal errors of reads

struct BadCase {
  const char* name;
  std::string text;
  std::string kinds;
  int error;
};

const char* error_text(int error) {
  switch (error) {
    case textio::ERR_EOF: return "end-of-file during read";
    case textio::ERR_SYNTAX: return "list-directed I/O syntax error";
    case textio::ERR_CONVERSION: return "input conversion error";
    default: return "?";
  }
}

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }

class ReadError : public ::testing::TestWithParam<BadCase> {};

// The run ends with Status::io_error and the message naming unit and file
// pending.
TEST_P(ReadError, EndsRun) {
  const BadCase& c = GetParam();
  const std::string message = "vexlib: severe (" + std::to_string(c.error) + "): " +
                              error_text(c.error) + ", unit 10, file Input.txt";
  textio::InputUnit in;
  in.open_text(10, "Input.txt", c.text);
  const test_support::Ending e = test_support::ending_of([&] { read_values(in, c.kinds); });
  EXPECT_TRUE(e.ended) << "the read went through";
  EXPECT_EQ(e.status, Status::io_error);
  EXPECT_EQ(e.pending, message);
}

std::string bad_name(const ::testing::TestParamInfo<BadCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    EndOfFile, ReadError,
    ::testing::Values(BadCase{"EmptyFile", "", "i", 24},
                      BadCase{"EmptyFileHeading", "", "", 24},
                      BadCase{"TooFewValues", "1 2", "iii", 24},
                      BadCase{"TooFewValuesLineEnd", "1 2\n", "iii", 24},
                      BadCase{"OnlyBlankRecords", "\n \n\t\n", "r", 24},
                      BadCase{"TrailingComma", "1,\n", "ii", 24},
                      BadCase{"NullsUseUpFile", ",,", "iiii", 24}),
    bad_name);

INSTANTIATE_TEST_SUITE_P(
    Syntax, ReadError,
    ::testing::Values(
        BadCase{"Letter", "x", "r", 59}, BadCase{"LetterForInteger", "two", "i", 59},
        BadCase{"LonePlus", "+", "r", 59}, BadCase{"LoneMinus", "-", "r", 59},
        BadCase{"LonePoint", ".", "r", 59}, BadCase{"TwoPoints", "1.2.3", "r", 59},
        BadCase{"NaN", "NaN", "r", 59}, BadCase{"Inf", "Inf", "r", 59},
        BadCase{"Infinity", "-Infinity", "r", 59}, BadCase{"Hex", "0x1p3", "r", 59},
        BadCase{"TrailingGarbage", "1.5x", "r", 59}, BadCase{"TrailingSign", "1.0+5", "r", 59},
        BadCase{"ExponentWithoutDigits", "1e", "r", 59},
        BadCase{"ExponentSignWithoutDigits", "1e+", "r", 59},
        BadCase{"ExponentWithoutMantissa", "e5", "r", 59},
        BadCase{"PointExponent", ".e5", "r", 59}, BadCase{"QExponent", "1q5", "r", 59},
        BadCase{"FractionalExponent", "1e2.5", "r", 59},
        BadCase{"TwoSigns", "--1", "r", 59},
        BadCase{"DecimalForInteger", "1.5", "i", 59},
        BadCase{"PointForInteger", "3.", "i", 59},
        BadCase{"ExponentForInteger", "1e5", "i", 59},
        BadCase{"NulByte", std::string("1\0", 2), "r", 59},
        BadCase{"NulByteAlone", std::string("\0", 1), "i", 59},
        BadCase{"InvalidUtf8", "\xff\xfe", "r", 59},
        BadCase{"Utf8Digit", "\xef\xbc\x91", "i", 59},  // a full-width digit
        BadCase{"Quote", "'1'", "i", 59}, BadCase{"FormFeed", "1\f", "i", 59},
        BadCase{"ZeroRepeat", "0*5", "i", 59}, BadCase{"RepeatWithoutCount", "*5", "i", 59},
        BadCase{"DoubleRepeat", "2*3*4", "i", 59}, BadCase{"SignedRepeat", "-2*3", "i", 59},
        BadCase{"RealRepeat", "2.0*3", "i", 59}, BadCase{"RepeatedBadValue", "2*abc", "i", 59},
        BadCase{"RepeatedRealForInteger", "2*1.5", "ri", 59},
        BadCase{"BadValueAfterGoodOnes", "1 2\n3 x", "iiii", 59}),
    bad_name);

INSTANTIATE_TEST_SUITE_P(
    Conversion, ReadError,
    ::testing::Values(
        BadCase{"IntegerAboveRange", "2147483648", "i", 64},
        BadCase{"IntegerBelowRange", "-2147483649", "i", 64},
        BadCase{"LongInteger", std::string(400, '9'), "i", 64},
        BadCase{"RealTooLarge", "1e39", "r", 64}, BadCase{"NegativeRealTooLarge", "-1e39", "r", 64},
        BadCase{"RealRoundsToInfinity", "3.40282356779733661637539395458142568448e38", "r", 64},
        BadCase{"HugeExponent", "1e999999999999999999999999", "r", 64},
        BadCase{"FourHundredDigits", std::string(400, '1'), "r", 64},
        BadCase{"FourHundredDigitsWithPoint", std::string(400, '1') + ".5", "r", 64}),
    bad_name);

// ---------------------------------------------------------------------------
// Units opened from files

TEST(ReadFromFile, RecordEndsAcrossBufferBoundaries) {
  // Records of every kind of ending, with CR LF pairs split by the refills
  // of the input buffer, and a long heading.
  std::string text = std::string(65535, 'h') + "\r\n";  // CR ends the first buffer
  for (int i = 0; i < 30000; ++i) text += std::to_string(i) + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
  text += "-5";  // last line without a line end
  const std::string path = write_file(temp_dir() + "/Input.txt", text);
  textio::InputUnit in;
  in.open(10, path);
  in.read({});
  for (int i = 0; i < 30000; ++i) ASSERT_EQ(read_int(in), i);
  EXPECT_EQ(read_int(in), -5);
  in.close();
}

TEST(ReadFromFile, LongTokenAcrossBufferBoundaries) {
  // A value longer than the buffer, split across refills.
  const std::string path = write_file(temp_dir() + "/Input.txt",
                                      "0." + std::string(200000, '0') + "1e200001 2\n");
  textio::InputUnit in;
  in.open(10, path);
  float a = 0, b = 0;
  in.read({textio::real_item(a), textio::real_item(b)});
  EXPECT_EQ(a, 1.0f);
  EXPECT_EQ(b, 2.0f);
}

// Expects `statement` to end the run with the layer's fatal error `message`.
template <class F>
void expect_fatal(F&& statement, const std::string& message) {
  test_support::expect_ending(std::forward<F>(statement), Status::io_error, message);
}

// A unit opened from a path names the file it was shown as (the program
// opens Input.txt of its folder), or the path when it was given no name.
TEST(ReadFromFileError, EndOfFileNamesUnitAndFile) {
  const std::string path = write_file(temp_dir() + "/Input.txt", "heading\n");
  textio::InputUnit in;
  in.open(10, path, "Input.txt");
  in.read({});
  expect_fatal([&] { read_int(in); },
               "vexlib: severe (24): end-of-file during read, unit 10, file Input.txt");

  textio::InputUnit unnamed;
  unnamed.open(10, path);
  unnamed.read({});
  expect_fatal([&] { read_int(unnamed); },
               "vexlib: severe (24): end-of-file during read, unit 10, file " + path);
}

TEST(ReadFromFileError, MissingFileIsReportedAtFirstRead) {
  const std::string path = temp_dir() + "/Input.txt";
  textio::InputUnit in;
  EXPECT_FALSE(test_support::ending_of([&] { in.open(10, path, "Input.txt"); }).ended);
  expect_fatal([&] { in.read({}); },
               "vexlib: severe (29): file not found, unit 10, file Input.txt");
}

TEST(ReadFromFileError, DirectoryCannotBeRead) {
  const std::string path = temp_dir() + "/Input.txt";
  std::filesystem::create_directories(path);
  textio::InputUnit in;
  in.open(10, path, "Input.txt");
  expect_fatal([&] { in.read({}); }, "vexlib: severe (30): open failure, unit 10, file Input.txt");
}

TEST(ReadFromFileError, UnreadableFile) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  const std::string path = write_file(temp_dir() + "/Input.txt", "1\n");
  std::filesystem::permissions(path, std::filesystem::perms::none);
  textio::InputUnit in;
  in.open(10, path, "Input.txt");
  expect_fatal([&] { in.read({}); }, "vexlib: severe (30): open failure, unit 10, file Input.txt");
}

TEST(ReadFromFileError, ReadAfterClose) {
  textio::InputUnit in;
  in.open_text(10, "Input.txt", "1\n2\n");
  in.close();
  expect_fatal([&] { in.read({}); },
               "vexlib: severe (29): file not found, unit 10, file Input.txt");
}

}  // namespace
