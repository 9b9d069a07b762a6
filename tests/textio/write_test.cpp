// Formatted and free-format writes: field editing, record building, output
// units and their fatal errors, and the console of a run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/files.h"
#include "support/run.h"
#include "textio/textio.h"

namespace {

using textio::FormatItem;
using textio::Value;

const float INF = std::numeric_limits<float>::infinity();
const float NAN_F = std::numeric_limits<float>::quiet_NaN();

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A fresh directory for the files of one test.
std::string temp_dir() {
  const std::string dir = std::string(::testing::TempDir()) + "textio_write_" +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// ---------------------------------------------------------------------------
// F w.d

struct FCase {
  float value;
  int w, d;
  const char* expected;
};

void PrintTo(const FCase& c, std::ostream* os) { *os << c.value << " in F" << c.w << "." << c.d; }

class EditF : public ::testing::TestWithParam<FCase> {};

TEST_P(EditF, Field) {
  const FCase& c = GetParam();
  EXPECT_EQ(textio::edit_F(c.value, c.w, c.d), c.expected)
      << "value " << c.value << " in F" << c.w << "." << c.d;
}

INSTANTIATE_TEST_SUITE_P(
    ReportFields, EditF,
    ::testing::Values(
        // Values of the report.
        FCase{0.5f, 8, 3, "   0.500"}, FCase{0.0f, 8, 3, "   0.000"},
        FCase{0.512f, 8, 3, "   0.512"}, FCase{0.446976f, 8, 3, "   0.447"},
        FCase{3.575808f, 8, 3, "   3.576"}, FCase{1.0f, 15, 3, "          1.000"},
        FCase{0.125f, 15, 3, "          0.125"}, FCase{0.2114f, 13, 3, "        0.211"},
        FCase{3.1764f, 30, 3, "                         3.176"},
        FCase{3.9981f, 16, 3, "           3.998"},
        // Largest values that fit, and the first that do not.
        FCase{9999.999f, 8, 3, "9999.999"}, FCase{1000.0f, 8, 3, "1000.000"},
        FCase{9999.9995f, 8, 3, "9999.999"},  // the float lies below the tie
        FCase{9999.9996f, 8, 3, "********"},  // rounds to 10000.000
        FCase{10000.0f, 8, 3, "********"}, FCase{1.0e9f, 8, 3, "********"},
        FCase{std::numeric_limits<float>::max(), 8, 3, "********"},
        FCase{std::numeric_limits<float>::max(), 50, 3,
              "       340282346638528859811704183484516925440.000"},
        FCase{10000.0f, 13, 3, "    10000.000"}));

INSTANTIATE_TEST_SUITE_P(
    Rounding, EditF,
    ::testing::Values(
        // Exact ties round away from zero.
        FCase{0.0625f, 8, 3, "   0.063"}, FCase{-0.0625f, 8, 3, "  -0.063"},
        FCase{0.125f, 8, 2, "    0.13"}, FCase{2.5f, 4, 0, "  3."},
        FCase{0.375f, 8, 2, "    0.38"}, FCase{1.0009765625f, 8, 3, "   1.001"},
        // The exact value of the float decides, not its shortest decimal.
        FCase{0.0005f, 8, 3, "   0.001"},   // 0.000500000023...
        FCase{1.0005f, 8, 3, "   1.000"},   // 1.000499963...
        FCase{2.675f, 8, 2, "    2.67"},    // 2.674999952...
        FCase{0.0015f, 8, 3, "   0.002"},   // 0.001500000013...
        FCase{0.9995f, 8, 3, "   0.999"},   // 0.999499976...
        FCase{0.99951f, 8, 3, "   1.000"},  // carry into the integer part
        FCase{99.9996f, 8, 3, " 100.000"},  // carry adds a digit
        FCase{1.4e-45f, 8, 3, "   0.000"},  // smallest subnormal
        FCase{0.0004f, 8, 3, "   0.000"}));

INSTANTIATE_TEST_SUITE_P(
    SignsAndLeadingZero, EditF,
    ::testing::Values(
        FCase{-0.5f, 8, 3, "  -0.500"}, FCase{-999.999f, 8, 3, "-999.999"},
        FCase{-1000.0f, 8, 3, "********"}, FCase{-12.25f, 13, 3, "      -12.250"},
        // A negative value that rounds to zero keeps its sign; zero has none.
        FCase{-0.0001f, 8, 3, "  -0.000"}, FCase{-0.0f, 8, 3, "   0.000"},
        // The zero before the point only when a column is to spare.
        FCase{0.5f, 4, 3, ".500"}, FCase{0.5f, 5, 3, "0.500"}, FCase{-0.5f, 5, 3, "-.500"},
        FCase{-0.5f, 4, 3, "****"}, FCase{0.04f, 3, 1, "0.0"}, FCase{0.04f, 2, 1, ".0"},
        FCase{0.5f, 3, 3, "***"},
        // With no decimals the zero stays: it is the only digit.
        FCase{0.25f, 4, 0, "  0."}, FCase{0.25f, 2, 0, "0."}, FCase{7.0f, 4, 0, "  7."},
        FCase{12.0f, 8, 1, "    12.0"}));

INSTANTIATE_TEST_SUITE_P(
    InfinityAndNaN, EditF,
    ::testing::Values(
        FCase{INF, 8, 3, "Infinity"}, FCase{INF, 13, 3, "     Infinity"},
        FCase{INF, 15, 3, "       Infinity"}, FCase{INF, 16, 3, "        Infinity"},
        FCase{INF, 30, 3, "                      Infinity"}, FCase{INF, 7, 3, "*******"},
        FCase{-INF, 8, 3, "********"}, FCase{-INF, 13, 3, "    -Infinity"},
        FCase{-INF, 15, 3, "      -Infinity"}, FCase{-INF, 16, 3, "       -Infinity"},
        FCase{-INF, 30, 3, "                     -Infinity"},
        FCase{NAN_F, 8, 3, "     NaN"}, FCase{NAN_F, 13, 3, "          NaN"},
        FCase{NAN_F, 15, 3, "            NaN"}, FCase{NAN_F, 16, 3, "             NaN"},
        FCase{NAN_F, 30, 3, "                           NaN"}, FCase{-NAN_F, 8, 3, "     NaN"},
        FCase{NAN_F, 2, 0, "**"}));

// ---------------------------------------------------------------------------
// I w

struct ICase {
  int32_t value;
  int w;
  const char* expected;
};

void PrintTo(const ICase& c, std::ostream* os) { *os << c.value << " in I" << c.w; }

class EditI : public ::testing::TestWithParam<ICase> {};

TEST_P(EditI, Field) {
  const ICase& c = GetParam();
  EXPECT_EQ(textio::edit_I(c.value, c.w), c.expected) << "value " << c.value << " in I" << c.w;
}

INSTANTIATE_TEST_SUITE_P(
    Values, EditI,
    ::testing::Values(ICase{120000, 15, "         120000"}, ICase{1000, 15, "           1000"},
                      ICase{7, 4, "   7"}, ICase{9999, 4, "9999"}, ICase{10000, 4, "****"},
                      ICase{0, 4, "   0"}, ICase{0, 1, "0"}, ICase{-5, 4, "  -5"},
                      ICase{-999, 4, "-999"}, ICase{-1000, 4, "****"},
                      ICase{10000000, 10, "  10000000"},
                      ICase{std::numeric_limits<int32_t>::max(), 10, "2147483647"},
                      ICase{std::numeric_limits<int32_t>::min(), 11, "-2147483648"},
                      ICase{std::numeric_limits<int32_t>::min(), 10, "**********"}));

// ---------------------------------------------------------------------------
// Records

const FormatItem FIT_LINE[] = {{FormatItem::Literal, "Constraint"},
                               {FormatItem::I, {}, 4},
                               {FormatItem::Literal, " for    fit     has been evaluated"},
                               {FormatItem::I, {}, 10}};
const FormatItem COMPLEXITY_LINE[] = {{FormatItem::Literal, "Constraint"},
                                      {FormatItem::I, {}, 4},
                                      {FormatItem::Literal, " for complexity has been evaluated"}};
const FormatItem TEXT[] = {{FormatItem::A, {}}};
const FormatItem F8_I15[] = {{FormatItem::F, {}, 8, 3}, {FormatItem::I, {}, 15}};
const FormatItem F8_F15[] = {{FormatItem::F, {}, 8, 3}, {FormatItem::F, {}, 15, 3}};
const FormatItem F8_F13_F30_F16[] = {{FormatItem::F, {}, 8, 3},
                                     {FormatItem::F, {}, 13, 3},
                                     {FormatItem::F, {}, 30, 3},
                                     {FormatItem::F, {}, 16, 3}};

struct RecordCase {
  const char* name;
  std::span<const FormatItem> format;
  std::vector<Value> values;
  const char* expected;
};

void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.name; }

class BuildRecord : public ::testing::TestWithParam<RecordCase> {};

TEST_P(BuildRecord, Text) {
  const RecordCase& c = GetParam();
  EXPECT_EQ(textio::build_record(c.format, c.values), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, BuildRecord,
    ::testing::Values(
        // The fit line passes one value: the trailing I10 writes nothing.
        RecordCase{"FitLine", FIT_LINE, {textio::int_value(1)},
                   "Constraint   1 for    fit     has been evaluated"},
        RecordCase{"FitLineTwoValues", FIT_LINE, {textio::int_value(2), textio::int_value(3000)},
                   "Constraint   2 for    fit     has been evaluated      3000"},
        RecordCase{"ComplexityLine", COMPLEXITY_LINE, {textio::int_value(12)},
                   "Constraint  12 for complexity has been evaluated"},
        RecordCase{"ConstraintNumberTooWide", COMPLEXITY_LINE, {textio::int_value(10000)},
                   "Constraint**** for complexity has been evaluated"},
        // No value at all: the literal text before the first data item only.
        RecordCase{"NoValues", FIT_LINE, {}, "Constraint"},
        RecordCase{"NoValuesLeadingItem", F8_I15, {}, ""},
        RecordCase{"TextInFull", TEXT, {textio::text_value("   infinit")}, "   infinit"},
        RecordCase{"TextWithTrailingBlanks", TEXT, {textio::text_value(" a  ")}, " a  "},
        RecordCase{"FitAndIterations", F8_I15,
                   {textio::real_value(0.512f), textio::int_value(1000)},
                   "   0.512           1000"},
        RecordCase{"Totals", F8_F15, {textio::real_value(0.446976f), textio::real_value(0.125f)},
                   "   0.447          0.125"},
        RecordCase{"BayesFactorLine", F8_F13_F30_F16,
                   {textio::real_value(1000.0f), textio::real_value(INF),
                    textio::real_value(NAN_F), textio::real_value(-INF)},
                   "1000.000     Infinity                           NaN       -Infinity"},
        RecordCase{"FewerValuesThanFields", F8_F13_F30_F16,
                   {textio::real_value(1.0f), textio::real_value(0.0f)},
                   "   1.000        0.000"},
        // A value of the wrong kind shows as asterisks.
        RecordCase{"KindMismatch", F8_I15, {textio::int_value(1), textio::real_value(1.0f)},
                   "***********************"}),
    [](const ::testing::TestParamInfo<RecordCase>& info) { return std::string(info.param.name); });

// The worked report of two constraints: 18 records, 542 bytes.
TEST(OutputUnit, WorkedReportIsByteExact) {
  const std::string path = temp_dir() + "/Output.txt";
  {
    std::ofstream old(path, std::ios::binary);
    old << std::string(5000, 'x');  // an earlier, longer report is replaced
  }
  textio::OutputUnit out;
  out.open(20, path);
  auto text = [&](const char* s) { out.write_formatted({FormatItem{FormatItem::A, {}}}, {textio::text_value(s)}); };
  auto fit_row = [&](float f, int32_t n) {
    out.write_formatted(F8_I15, std::vector<Value>{textio::real_value(f), textio::int_value(n)});
  };
  const char* BF_HEADING = "   BFia   MC error (standard deviation)   2.5percentile  97.5percentile";
  text("Result:");
  out.write_free_empty();
  text("   Fits        numbers of iterations");
  fit_row(0.512f, 1000);
  fit_row(0.873f, 3000);
  out.write_free_empty();
  text("Complexities   numbers of iterations");
  fit_row(0.25f, 9600);
  fit_row(0.5f, 120000);
  out.write_free_empty();
  text("Total fit      Total complexity");
  out.write_formatted(F8_F15, std::vector<Value>{textio::real_value(0.446976f), textio::real_value(0.125f)});
  out.write_free_empty();
  text(BF_HEADING);
  out.write_formatted(F8_F13_F30_F16,
                      std::vector<Value>{textio::real_value(3.575808f), textio::real_value(0.2114f),
                                         textio::real_value(3.1764f), textio::real_value(3.9981f)});
  out.write_free_empty();
  text("   BFic   MC error (standard deviation)   2.5percentile  97.5percentile");
  out.write_formatted(F8_F13_F30_F16,
                      std::vector<Value>{textio::real_value(5.6577f), textio::real_value(0.5123f),
                                         textio::real_value(4.7012f), textio::real_value(6.8044f)});
  out.close();

  const std::string expected = test_support::kWorkedReport;
  const std::string written = read_file(path);
  EXPECT_EQ(written.size(), 542u);
  EXPECT_EQ(written, expected);
}

TEST(OutputUnit, FreeFormatEmptyWriteIsOneSpace) {
  const std::string path = temp_dir() + "/blank.txt";
  textio::OutputUnit out;
  out.open(20, path);
  out.write_free_empty();
  out.write_record("");
  out.close();
  EXPECT_EQ(read_file(path), " \r\n\r\n");
}

TEST(OutputUnit, OpenCreatesEmptyFile) {
  const std::string path = temp_dir() + "/Output.txt";
  {
    std::ofstream old(path, std::ios::binary);
    old << "old report";
  }
  textio::OutputUnit out;
  out.open(20, path);
  out.close();
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(read_file(path), "");
}

TEST(OutputUnit, RecordAtTheRecordLengthIsWritten) {
  const std::string path = temp_dir() + "/long.txt";
  textio::OutputUnit out;
  out.open(20, path);
  out.write_record(std::string(textio::RECORD_LENGTH, 'x'));
  out.close();
  EXPECT_EQ(read_file(path).size(), textio::RECORD_LENGTH + 2);
}

// A unit kept in memory holds the same records, readable after the close.
TEST(OutputUnit, MemoryUnitKeepsItsRecords) {
  textio::OutputUnit out;
  out.open_memory(20, "Output.txt");
  out.write_formatted({FormatItem{FormatItem::A, {}}}, {textio::text_value("Result:")});
  out.write_free_empty();
  out.write_formatted(F8_I15, std::vector<Value>{textio::real_value(0.512f), textio::int_value(1000)});
  out.close();
  EXPECT_EQ(out.text(), "Result:\r\n \r\n   0.512           1000\r\n");
}

// ---------------------------------------------------------------------------
// Fatal errors of output units: the run ends with Status::io_error and the
// message pending, nothing printed.

// Expects `statement` to end the run with the layer's fatal error `message`.
template <class F>
void expect_fatal(F&& statement, const std::string& message) {
  test_support::expect_ending(std::forward<F>(statement), Status::io_error, message);
}

TEST(OutputUnitError, RecordLongerThanTheRecordLength) {
  const std::string path = temp_dir() + "/long.txt";
  textio::OutputUnit out;
  out.open(20, path);
  expect_fatal([&] { out.write_record(std::string(textio::RECORD_LENGTH + 1, 'x')); },
               "vexlib: severe (66): output statement overflows record, unit 20, file " + path);
}

TEST(OutputUnitError, RecordLongerThanTheRecordLengthInMemory) {
  textio::OutputUnit out;
  out.open_memory(20, "Output.txt");
  expect_fatal([&] { out.write_record(std::string(textio::RECORD_LENGTH + 1, 'x')); },
               "vexlib: severe (66): output statement overflows record, unit 20, file Output.txt");
  EXPECT_EQ(out.text(), "");
}

TEST(OutputUnitError, FileThatIsADirectoryCannotBeOpened) {
  const std::string dir = temp_dir() + "/Output.txt";
  std::filesystem::create_directories(dir);
  textio::OutputUnit out;
  expect_fatal([&] { out.open(20, dir); },
               "vexlib: severe (30): open failure, unit 20, file " + dir);
}

TEST(OutputUnitError, FileInMissingFolderCannotBeOpened) {
  const std::string path = temp_dir() + "/missing/Output.txt";
  textio::OutputUnit out;
  expect_fatal([&] { out.open(20, path); },
               "vexlib: severe (30): open failure, unit 20, file " + path);
}

TEST(OutputUnitError, FullDiskIsReportedAtClose) {
  ASSERT_TRUE(std::filesystem::exists("/dev/full"));
  textio::OutputUnit out;
  out.open(20, "/dev/full");
  out.write_record("Result:");  // buffered: the failure shows at the close
  expect_fatal([&] { out.close(); },
               "vexlib: severe (38): error during write, unit 20, file /dev/full");
}

TEST(OutputUnitError, FullDiskIsReportedWhileWriting) {
  ASSERT_TRUE(std::filesystem::exists("/dev/full"));
  textio::OutputUnit out;
  out.open(20, "/dev/full");
  expect_fatal(
      [&] {
        for (int i = 0; i < 100000; ++i) out.write_record("   0.512           1000");
      },
      "vexlib: severe (38): error during write, unit 20, file /dev/full");
}

TEST(OutputUnitError, WriteAfterCloseIsAnError) {
  const std::string path = temp_dir() + "/closed.txt";
  textio::OutputUnit out;
  out.open(20, path);
  out.close();
  expect_fatal([&] { out.write_record("x"); },
               "vexlib: severe (38): error during write, unit 20, file " + path);
}

TEST(Fatal, FileNameIsNotAFormatAndNothingIsPrinted) {
  const std::string message = "vexlib: severe (24): end-of-file during read, unit 10, file %s%d%n.txt";
  EXPECT_EQ(textio::fatal_text(textio::ERR_EOF, 10, "%s%d%n.txt"), message);
  ::testing::internal::CaptureStdout();
  expect_fatal([] { textio::fatal(textio::ERR_EOF, 10, "%s%d%n.txt"); }, message);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

TEST(Fatal, EndRunCarriesStatusAndPendingLines) {
  const test_support::Ending e = test_support::ending_of([] { textio::end_run(Status::subscript, "first\nsecond"); });
  EXPECT_TRUE(e.ended);
  EXPECT_EQ(e.status, Status::subscript);
  EXPECT_EQ(e.pending, "first\nsecond");
  EXPECT_EQ(test_support::ending_of([] { textio::end_run(Status::numerical_stop); }).pending, "");
}

// ---------------------------------------------------------------------------
// The console

// One call on a console.
struct ConsoleStep {
  enum Kind { Record, MessageLine, MessageLines, EndMessage } kind;
  const char* text = "";
};

ConsoleStep record(const char* t) { return {ConsoleStep::Record, t}; }
ConsoleStep line(const char* t) { return {ConsoleStep::MessageLine, t}; }
ConsoleStep lines(const char* t) { return {ConsoleStep::MessageLines, t}; }
const ConsoleStep END_MESSAGE{ConsoleStep::EndMessage};

struct ConsoleCase {
  const char* name;
  std::vector<ConsoleStep> steps;
  const char* text;     // everything printed
  const char* message;  // the lines of the last message
};

void PrintTo(const ConsoleCase& c, std::ostream* os) { *os << c.name; }

void apply(textio::Console& c, const ConsoleStep& step) {
  switch (step.kind) {
    case ConsoleStep::Record: c.write_record(step.text); break;
    case ConsoleStep::MessageLine: c.write_message_line(step.text); break;
    case ConsoleStep::MessageLines: c.write_message_lines(step.text); break;
    case ConsoleStep::EndMessage: c.end_message(); break;
  }
}

class ConsoleMessages : public ::testing::TestWithParam<ConsoleCase> {};

// Every record is kept in order with CR LF, handed to the tap as written,
// and the lines of the last message are kept apart.
TEST_P(ConsoleMessages, TextAndLastMessage) {
  const ConsoleCase& c = GetParam();
  std::string tapped;
  textio::Console console([&](std::string_view record) { tapped.append(record); });
  for (const ConsoleStep& step : c.steps) apply(console, step);
  EXPECT_EQ(console.text(), c.text);
  EXPECT_EQ(console.message(), c.message);
  EXPECT_EQ(tapped, c.text);
  EXPECT_FALSE(test_support::ending_of([&] { console.close(); }).ended);
}

INSTANTIATE_TEST_SUITE_P(
    Grouping, ConsoleMessages,
    ::testing::Values(
        ConsoleCase{"NothingWritten", {}, "", ""},
        ConsoleCase{"ProgressLineIsNoMessage", {record("Constraint   1")}, "Constraint   1\r\n", ""},
        ConsoleCase{"OneLine", {line("a")}, "a\r\n", "a"},
        ConsoleCase{"LinesOfOneMessage", {line("a"), line("b")}, "a\r\nb\r\n", "a\nb"},
        ConsoleCase{"ProgressLineLeavesTheMessage", {line("a"), line("b"), record("p")},
                    "a\r\nb\r\np\r\n", "a\nb"},
        ConsoleCase{"ProgressLineStartsAnother", {line("a"), record("p"), line("b")},
                    "a\r\np\r\nb\r\n", "b"},
        ConsoleCase{"EndMessageLeavesTheMessage", {line("a"), END_MESSAGE}, "a\r\n", "a"},
        ConsoleCase{"EndMessageStartsAnother", {line("a"), END_MESSAGE, line("b")}, "a\r\nb\r\n",
                    "b"},
        ConsoleCase{"EmptyLine", {line("")}, "\r\n", ""}),
    [](const ::testing::TestParamInfo<ConsoleCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    PendingLines, ConsoleMessages,
    ::testing::Values(
        ConsoleCase{"OneLine", {lines("vexlib: severe (24)")}, "vexlib: severe (24)\r\n",
                    "vexlib: severe (24)"},
        ConsoleCase{"SplitAtLineFeeds", {lines("a\nb\nc")}, "a\r\nb\r\nc\r\n", "a\nb\nc"},
        ConsoleCase{"TrailingLineFeedIsAnEmptyLine", {lines("a\n")}, "a\r\n\r\n", "a\n"},
        ConsoleCase{"EmptyTextIsOneEmptyLine", {lines("")}, "\r\n", ""},
        ConsoleCase{"JoinTheOpenMessage", {line("a"), lines("b\nc")}, "a\r\nb\r\nc\r\n", "a\nb\nc"},
        ConsoleCase{"AfterEndMessage", {line("a"), END_MESSAGE, lines("b\nc")}, "a\r\nb\r\nc\r\n",
                    "b\nc"},
        ConsoleCase{"AfterProgressLine", {line("a"), record("p"), lines("b")}, "a\r\np\r\nb\r\n",
                    "b"}),
    [](const ::testing::TestParamInfo<ConsoleCase>& info) { return std::string(info.param.name); });

// A console on a stream pushes each record out as it is written (the tap
// sees the file already holding it) and keeps nothing in memory.
// A console keeping a journal hands the same writes to another console
// later: the same text, the same last message, the same taps.
TEST(Console, JournalReplaysTheSameWrites) {
  using textio::Console;
  std::string tapped;
  Console direct([&](std::string_view r) { tapped += r; });
  Console journal;
  journal.keep_journal();
  std::string replayed;
  Console later([&](std::string_view r) { replayed += r; });
  for (Console* c : {&direct, &journal}) {
    c->write_record("Constraint 1");
    c->write_message_line(" *** WARNING one");
    c->end_message();
    c->write_message_line(" *** WARNING two");
    c->write_message_line(" ***   and more");
  }
  journal.replay_to(later);
  EXPECT_EQ(later.text(), direct.text());
  EXPECT_EQ(later.message(), direct.message());
  EXPECT_EQ(later.message(), " *** WARNING two\n ***   and more");
  EXPECT_EQ(replayed, tapped);
  journal.clear();
  Console empty;
  journal.replay_to(empty);
  EXPECT_EQ(empty.text(), "");
  EXPECT_EQ(journal.text(), "");
}

TEST(Console, RecordsOnAStreamArePushedOutOneByOne) {
  const std::string path = temp_dir() + "/console.txt";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::vector<std::uintmax_t> sizes;
  {
    textio::Console console(f, [&](std::string_view) { sizes.push_back(std::filesystem::file_size(path)); });
    console.write_record(textio::build_record(COMPLEXITY_LINE, std::vector<Value>{textio::int_value(3)}));
    console.write_message_line("library message");
    console.write_record(" ");
    console.close();  // pushes out; the console stays usable
    console.write_record("after");
    console.close();
    EXPECT_EQ(console.text(), "");
    EXPECT_EQ(console.message(), "library message");
  }
  std::fclose(f);
  const std::string expected =
      "Constraint   3 for complexity has been evaluated\r\nlibrary message\r\n \r\nafter\r\n";
  EXPECT_EQ(read_file(path), expected);
  EXPECT_EQ(sizes, (std::vector<std::uintmax_t>{50, 67, 70, 77}));
}

// Writes to a full stream do not end the run: the report is still written
// in full, and the close reports the lost output as error 38 of unit 6.
TEST(Console, FailedWriteIsReportedOnlyAtClose) {
  ASSERT_TRUE(std::filesystem::exists("/dev/full"));
  std::FILE* f = std::fopen("/dev/full", "wb");
  ASSERT_NE(f, nullptr);
  {
    textio::Console console(f);
    const test_support::Ending writing = test_support::ending_of([&] {
      for (int i = 0; i < 1000; ++i) console.write_record("Constraint   1");
      console.write_message_line("a message");
    });
    EXPECT_FALSE(writing.ended);
    EXPECT_EQ(console.message(), "a message");
    expect_fatal([&] { console.close(); },
                 "vexlib: severe (38): error during write, unit 6, file stdout");
    // The failure stays: a second close reports it again.
    EXPECT_RUN_ENDS(console.close(), Status::io_error);
  }
  std::fclose(f);
}

}  // namespace
