// Tests of the machine constants and of the library's error handler: the
// stored constants, the name stack with its type/code bookkeeping, message
// templates, the printed form (wrapping, traceback, CR LF) and the stops.
//
// Each test runs on a context of its own whose console is kept in memory;
// a check of a stop runs its statement on a fresh run (library_stop.h).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "library_stop.h"
#include "numlib/errors.h"
#include "support/run.h"
#include "support/stop.h"

namespace {

using namespace numlib;
using namespace numlib_test;
using namespace test_support;

// ---- helpers -----------------------------------------------------------

// Every test starts and ends with only "USER" on the stack and no error
// recorded for it.
class Handler : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Level(), 1);
    E1MSG(ctx, 0, 0, " ");
  }
  void TearDown() override { EXPECT_EQ(Level(), 1); }

  int32_t Level() const { return ctx.handler.level; }
  // What the run prints from here on ...
  void Capture() { mark_ = run_.printed().size(); }
  // ... up to now.
  std::string Captured() const { return run_.printed().substr(mark_); }

  // Raises a warning with `templ` in routine WRAPT called by the program and
  // returns what its return prints.
  std::string WarningText(const std::string& templ) {
    Capture();
    E1PSH(ctx, "WRAPT ");
    E1MSG(ctx, ERR_WARNING, 1, templ);
    E1POP(ctx, "WRAPT ");
    std::string out = Captured();
    E1MSG(ctx, 0, 0, " ");
    return out;
  }

  TestRun run_;
  Context& ctx = run_.ctx;

 private:
  size_t mark_ = 0;
};

// ---- machine constants ---------------------------------------------------

struct ConstantCase {
  int32_t n;
  uint32_t single_bits;
  uint64_t double_bits;
};

const ConstantCase kConstants[] = {
    {1, 0x008007AFu, 0x001000F33BE6741Eull}, {2, 0x7F7FF0E8u, 0x7FEFFE1E0B9AB3FCull},
    {3, 0x33800790u, 0x3CA000F2B4D5480Dull}, {4, 0x3400079Eu, 0x3CB000F2B4D5480Dull},
    {5, 0x3E9A209Bu, 0x3FD34413509F79FFull}, {6, 0x7F7FF3F8u, 0x47EFFE7F00000000ull},
    {7, 0x7F7FF0E8u, 0x7FEFFE1E0B9AB3FCull}, {8, 0xFF7FF0E8u, 0xFFEFFE1E0B9AB3FCull},
};

using MachineConstants = Handler;

TEST_F(MachineConstants, StoredBitPatterns) {
  for (const ConstantCase& c : kConstants) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(std::bit_cast<uint32_t>(AMACH(ctx, c.n)), c.single_bits);
    EXPECT_EQ(std::bit_cast<uint64_t>(DMACH(ctx, c.n)), c.double_bits);
    // The same table without a run.
    EXPECT_EQ(kAmachBits[c.n - 1], c.single_bits);
    EXPECT_EQ(std::bit_cast<uint32_t>(amach_constant(c.n)), c.single_bits);
  }
  EXPECT_EQ(run_.printed(), "");
}

TEST_F(MachineConstants, NotTheFormatLimits) {
  EXPECT_NE(AMACH(ctx, 3), std::ldexp(1.0f, -24));
  EXPECT_GT(AMACH(ctx, 3), std::ldexp(1.0f, -24));
  EXPECT_TRUE(std::isfinite(AMACH(ctx, 6)));
  EXPECT_TRUE(std::isfinite(AMACH(ctx, 7)));
  EXPECT_TRUE(std::isfinite(AMACH(ctx, 8)));
  EXPECT_TRUE(std::isfinite(DMACH(ctx, 6)));
  EXPECT_EQ(AMACH(ctx, 7), AMACH(ctx, 2));
  EXPECT_EQ(AMACH(ctx, 8), -AMACH(ctx, 2));
  EXPECT_EQ(DMACH(ctx, 8), -DMACH(ctx, 2));
  // Used as the not-a-number value, AMACH(6) lies above AMACH(2).
  EXPECT_GT(AMACH(ctx, 6), AMACH(ctx, 2));
}

TEST_F(MachineConstants, Integers) {
  const int32_t expected[12] = {32, 4, 2, 31, 2147483647, 2, 24, -125, 128, 53, -1021, 1024};
  for (int32_t n = 1; n <= 12; ++n) EXPECT_EQ(IMACH(ctx, n), expected[n - 1]) << "IMACH(" << n << ")";
}

TEST_F(MachineConstants, UnitsGetAndPut) {
  const int32_t expected[3] = {5, 6, 6};
  for (int32_t n = 1; n <= 3; ++n) {
    int32_t unit = -1;
    UMACH(ctx, n, unit);
    EXPECT_EQ(unit, expected[n - 1]) << "unit " << n;
  }
  int32_t unit = 9;
  UMACH(ctx, -3, unit);
  UMACH(ctx, 3, unit);
  EXPECT_EQ(unit, 9);
  // The unit table belongs to the run: another run still has its own.
  TestRun other;
  UMACH(other.ctx, 3, unit);
  EXPECT_EQ(unit, 6);
  unit = 6;
  UMACH(ctx, -3, unit);  // restore
  UMACH(ctx, 2, unit);
  EXPECT_EQ(unit, 6);
}

using MachineConstantsStops = Handler;

TEST_F(MachineConstantsStops, AmachBadIndexStopsWhenItReturns) {
  // Printed at once (called by the program: no traceback), then the stop at
  // AMACH's own pop: the result never reaches the caller.
  const std::string text = Lines({
      " *** TERMINAL ERROR 5 from AMACH.  The argument must be between 1 and",
      " ***          8 inclusive. N = 0",
  });
  float result = 0.0f;
  const Stop stop = StopOf([&](Context& c) { result = AMACH(c, 0); });
  EXPECT_STOP_PRINTS(stop, Exactly(text));
  EXPECT_EQ(result, 0.0f);
  // The lines are also the run's last message, which says why it stopped.
  EXPECT_EQ(stop.message,
            " *** TERMINAL ERROR 5 from AMACH.  The argument must be between 1 and\n"
            " ***          8 inclusive. N = 0");
  EXPECT_LIBRARY_STOPS(AMACH(ctx, 9), "N = 9\r\n$");
}

TEST_F(MachineConstantsStops, DmachBadIndex) {
  EXPECT_LIBRARY_STOPS(
      DMACH(ctx, -1),
      "^ \\*\\*\\* TERMINAL ERROR 5 from DMACH\\.  .*\r\n \\*\\*\\*          8 inclusive\\. N = -1\r\n$");
}

TEST_F(MachineConstantsStops, ImachBadIndex) {
  for (int32_t n : {0, 13, -2147483647 - 1}) {
    const std::string text = Lines({
        " *** TERMINAL ERROR 5 from IMACH.  The argument",
        " ***          must be between 1 and 12 inclusive.",
        " ***          N = " + std::to_string(n),
    });
    EXPECT_LIBRARY_STOPS(IMACH(ctx, n), Exactly(text)) << n;
  }
}

TEST_F(MachineConstantsStops, UmachBadIndex) {
  const struct {
    int32_t n;
    const char* shown;
  } cases[] = {{0, "0"}, {4, "4"}, {-4, "4"}, {-2147483647 - 1, "2147483648"}};
  for (const auto& c : cases) {
    const std::string text = Lines({
        " *** TERMINAL ERROR 5 from UMACH.  The absolute",
        " ***          value of the index variable must be",
        std::string(" ***          1, 2, or 3.  IABS(N) = ") + c.shown,
    });
    int32_t unit = 0;
    EXPECT_LIBRARY_STOPS(UMACH(ctx, c.n, unit), Exactly(text)) << c.n;
  }
}

// ---- stack and error bookkeeping -------------------------------------------

TEST_F(Handler, AlertClearedByCallerLeavesNothing) {
  Capture();
  E1PSH(ctx, "ANORDF");
  E1PSH(ctx, "ERFC  ");
  E1SUBR(ctx, 1, 13.5f);
  E1MSG(ctx, ERR_ALERT, 1, "The function underflows because X = %(R1).");
  E1POP(ctx, "ERFC  ");
  EXPECT_EQ(N1RTY(ctx, 1), ERR_ALERT);  // the routine that returned last
  EXPECT_EQ(N1RCD(ctx, 1), 1);
  EXPECT_EQ(N1RTY(ctx, 0), ERR_ALERT);  // copied down to the caller
  EXPECT_EQ(N1RCD(ctx, 0), 1);
  E1MSG(ctx, 0, 0, " ");
  EXPECT_EQ(N1RTY(ctx, 0), 0);
  EXPECT_EQ(N1RCD(ctx, 0), 0);
  E1POP(ctx, "ANORDF");
  EXPECT_EQ(Captured(), "");
  EXPECT_EQ(N1RTY(ctx, 0), 0);
}

TEST_F(Handler, WarningTwoLevelsDownPrintedOnceWhenLevelTwoReturns) {
  Capture();
  E1PSH(ctx, "ANORIN");
  E1PSH(ctx, "ERFCI ");
  E1PSH(ctx, "CSEVL ");
  E1SUBR(ctx, 1, 1.25f);
  E1MSG(ctx, ERR_WARNING, 7, "The argument X = %(R1) is outside the interval (-1.1,+1.1).");
  E1POP(ctx, "CSEVL ");
  EXPECT_EQ(N1RTY(ctx, 0), ERR_WARNING);
  EXPECT_EQ(N1RCD(ctx, 0), 7);
  E1POP(ctx, "ERFCI ");
  EXPECT_EQ(N1RTY(ctx, 0), ERR_WARNING);
  EXPECT_EQ(N1RCD(ctx, 0), 7);
  const std::string silent = Captured();
  EXPECT_EQ(silent, "") << "nothing is printed below level 2";
  Capture();
  E1POP(ctx, "ANORIN");
  EXPECT_EQ(Captured(), Lines({
                            " *** WARNING ERROR 7 from ANORIN.  The argument X = 1.250000E+00 is",
                            " ***          outside the interval (-1.1,+1.1).",
                        }));
  // The program goes on and sees the warning.
  EXPECT_EQ(N1RTY(ctx, 0), ERR_WARNING);
  EXPECT_EQ(N1RCD(ctx, 0), 7);
}

TEST_F(Handler, NoteIsSilentAndNotPassedDown) {
  Capture();
  E1PSH(ctx, "RNUN  ");
  E1MSG(ctx, ERR_NOTE, 3, "Just a note.");
  EXPECT_EQ(N1RTY(ctx, 0), ERR_NOTE);
  E1POP(ctx, "RNUN  ");
  EXPECT_EQ(Captured(), "");
  EXPECT_EQ(N1RTY(ctx, 0), 0);
  EXPECT_EQ(N1RTY(ctx, 1), ERR_NOTE);
}

TEST_F(Handler, ReturnedLevelStaysReadableUntilNextPush) {
  E1PSH(ctx, "LINRG ");
  E1PSH(ctx, "L2TRG ");
  E1MSG(ctx, ERR_ALERT, 9, "x");
  E1POP(ctx, "L2TRG ");
  E1MSG(ctx, 0, 0, " ");
  EXPECT_EQ(N1RTY(ctx, 1), ERR_ALERT);
  EXPECT_EQ(N1RCD(ctx, 1), 9);
  E1PSH(ctx, "L2CRG ");
  EXPECT_EQ(N1RTY(ctx, 0), 0);
  EXPECT_EQ(N1RCD(ctx, 0), 0);
  E1POP(ctx, "L2CRG ");
  EXPECT_EQ(N1RTY(ctx, 1), 0);
  EXPECT_EQ(N1RCD(ctx, 1), 0);
  E1POP(ctx, "LINRG ");
}

TEST_F(Handler, TypeAndCodeUpdates) {
  E1PSH(ctx, "UPDT  ");
  E1MSG(ctx, ERR_ALERT, 4, "first");
  E1MSG(ctx, -1, 6, "second");  // type kept
  EXPECT_EQ(N1RTY(ctx, 0), ERR_ALERT);
  EXPECT_EQ(N1RCD(ctx, 0), 6);
  E1MSG(ctx, ERR_NOTE, -1, "third");  // code kept
  EXPECT_EQ(N1RTY(ctx, 0), ERR_NOTE);
  EXPECT_EQ(N1RCD(ctx, 0), 6);
  E1MSG(ctx, 0, 0, " ");
  E1POP(ctx, "UPDT  ");
}

TEST_F(Handler, PopAcceptsSameNameAtAnotherAddress) {
  char copy[] = "ERFC  ";
  E1PSH(ctx, "ERFC  ");
  E1POP(ctx, copy);
  EXPECT_EQ(Level(), 1);
  E1PSH(ctx, "ERFC  ");
  E1POP(ctx, "ERFC");  // padding blanks do not count
  EXPECT_EQ(Level(), 1);
  E1PSH(ctx, "ERFC");
  E1MSG(ctx, ERR_ALERT, 1, "x");  // the slow path with a recorded error
  E1POP(ctx, copy);
  EXPECT_EQ(Level(), 1);
}

TEST_F(Handler, FiftyNestedPushesFit) {
  static const char* const names[50] = {
      "R01", "R02", "R03", "R04", "R05", "R06", "R07", "R08", "R09", "R10", "R11", "R12", "R13",
      "R14", "R15", "R16", "R17", "R18", "R19", "R20", "R21", "R22", "R23", "R24", "R25", "R26",
      "R27", "R28", "R29", "R30", "R31", "R32", "R33", "R34", "R35", "R36", "R37", "R38", "R39",
      "R40", "R41", "R42", "R43", "R44", "R45", "R46", "R47", "R48", "R49", "R50"};
  for (const char* n : names) E1PSH(ctx, n);
  EXPECT_EQ(Level(), 51);
  EXPECT_EQ(N1RTY(ctx, 1), 0);  // above the top of a full stack
  E1MSG(ctx, ERR_ALERT, 2, "deep");
  for (int i = 49; i >= 0; --i) E1POP(ctx, names[i]);
  EXPECT_EQ(N1RTY(ctx, 0), ERR_ALERT);  // passed down through all 50 levels
  EXPECT_EQ(N1RCD(ctx, 0), 2);
}

using HandlerStops = Handler;

TEST_F(HandlerStops, FiftyFirstPushStops) {
  auto push51 = [](Context& ctx) {
    for (int i = 0; i < 51; ++i) E1PSH(ctx, "DEEP  ");
  };
  EXPECT_LIBRARY_STOPS(push51(ctx), Exactly(Lines({
                                        " *** Error condition in E1PSH.  Push would cause stack level to exceed",
                                        " ***          50.",
                                    })));
}

TEST_F(HandlerStops, PopFromEmptyStackStops) {
  EXPECT_LIBRARY_STOPS(E1POP(ctx, "ERFC  "),
                       Exactly(Lines({
                           " *** Error condition in E1POP.  Cannot pop from ERFC because stack is",
                           " ***          empty.",
                       })));
}

TEST_F(HandlerStops, PopOfWrongNameStops) {
  auto wrong = [](Context& ctx) {
    E1PSH(ctx, "ANORDF");
    E1PSH(ctx, "ERFC  ");
    E1POP(ctx, "ANORDF");
  };
  EXPECT_LIBRARY_STOPS(wrong(ctx), Exactly(Lines({
                                       " *** Error condition in E1POP.  ANORDF does not match the name ERFC in",
                                       " ***          the stack.",
                                   })));
}

TEST_F(HandlerStops, BadQueryArgumentStopsWithTraceback) {
  auto bad = [](Context& ctx, bool code) {
    E1PSH(ctx, "L2NRG ");
    if (code)
      N1RCD(ctx, -1);
    else
      N1RTY(ctx, 2);
  };
  EXPECT_LIBRARY_STOPS(bad(ctx, false), Exactly(Lines({
                                            " *** TERMINAL ERROR 1 from N1RTY.  The argument passed to N1RTY must",
                                            " ***          be 0 or 1.",
                                            " Here is a traceback of subprogram calls in reverse order:",
                                            " Routine name                    Error type  Error code",
                                            " ------------                    ----------  ----------",
                                            " N1RTY                                5           1",
                                            " L2NRG                                0           0",
                                            " USER                                 0           0",
                                        })));
  EXPECT_LIBRARY_STOPS(bad(ctx, true),
                       "^ \\*\\*\\* TERMINAL ERROR 1 from N1RCD\\.  The argument passed to N1RCD must\r\n");
}

// Under the default settings: which types stop, and where.
TEST_F(HandlerStops, ThreeTerminalErrorsAllPrintedThenStop) {
  auto rnbet = [](Context& ctx) {
    int32_t code = 1;
    E1PSH(ctx, "RNBET ");
    I1ACHK(ctx, 0, "NR", 1, 0, code);
    E1SUBR(ctx, 1, -1.0f);
    E1MSG(ctx, ERR_TERMINAL, 2, "PIN = %(R1).  PIN must be positive.");
    E1SUBR(ctx, 1, 0.0f);
    E1MSG(ctx, ERR_TERMINAL, 3, "QIN = %(R1).  QIN must be positive.");
    ctx.console.write_record("ALL RAISED");
    E1POP(ctx, "RNBET ");
  };
  EXPECT_LIBRARY_STOPS(rnbet(ctx), Exactly(Lines({
                                       " *** TERMINAL ERROR 1 from RNBET.  NR = 0.  NR must be greater than or",
                                       " ***          equal to 1.",
                                       " *** TERMINAL ERROR 2 from RNBET.  PIN = -1.000000E+00.  PIN must be",
                                       " ***          positive.",
                                       " *** TERMINAL ERROR 3 from RNBET.  QIN = 0.000000E+00.  QIN must be",
                                       " ***          positive.",
                                       "ALL RAISED",
                                   })));
}

TEST_F(HandlerStops, TerminalErrorDeepDownPrintsTracebackAndStopsAtOnce) {
  auto deep = [](Context& ctx) {
    E1PSH(ctx, "ANORDF");
    E1PSH(ctx, "ERFC  ");
    E1PSH(ctx, "CSEVL ");
    E1SUBI(ctx, 1, 0);
    E1MSG(ctx, ERR_TERMINAL, 5, "The number of terms in the series is not positive. N = %(I1).");
    E1POP(ctx, "CSEVL ");
    ctx.console.write_record("CSEVL RETURNED");
  };
  EXPECT_LIBRARY_STOPS(deep(ctx), Exactly(Lines({
                                      " *** TERMINAL ERROR 5 from CSEVL.  The number of terms in the series",
                                      " ***          is not positive. N = 0.",
                                      " Here is a traceback of subprogram calls in reverse order:",
                                      " Routine name                    Error type  Error code",
                                      " ------------                    ----------  ----------",
                                      " CSEVL                                5           5",
                                      " ERFC                                 0           0",
                                      " ANORDF                               0           0",
                                      " USER                                 0           0",
                                  })));
}

TEST_F(HandlerStops, FatalErrorDeepDownStopsWhenLevelTwoReturns) {
  auto fatal = [](Context& ctx) {
    E1PSH(ctx, "LINRG ");
    E1PSH(ctx, "L2NRG ");
    E1PSH(ctx, "L2TRG ");
    E1MSG(ctx, ERR_FATAL, 2, "The input matrix is singular.");
    E1POP(ctx, "L2TRG ");
    if (N1RTY(ctx, 1) == ERR_FATAL) ctx.console.write_record("SEEN BY L2NRG");
    E1POP(ctx, "L2NRG ");
    ctx.console.write_record("LINRG RETURNS");
    E1POP(ctx, "LINRG ");
  };
  EXPECT_LIBRARY_STOPS(fatal(ctx), Exactly(Lines({
                                       "SEEN BY L2NRG",
                                       "LINRG RETURNS",
                                       " *** FATAL ERROR 2 from LINRG.  The input matrix is singular.",
                                   })));
}

TEST_F(Handler, WarningTypeSixPrintedAtOnceWithTracebackAndOnlyOnce) {
  Capture();
  E1PSH(ctx, "OUTER ");
  E1PSH(ctx, "INNER ");
  E1MSG(ctx, 6, 3, "Printed at once.");
  const std::string at_once = Captured();
  Capture();
  E1POP(ctx, "INNER ");
  E1POP(ctx, "OUTER ");
  EXPECT_EQ(Captured(), "") << "a printed message is not printed again";
  EXPECT_EQ(at_once, Lines({
                         " *** WARNING ERROR 3 from INNER.  Printed at once.",
                         " Here is a traceback of subprogram calls in reverse order:",
                         " Routine name                    Error type  Error code",
                         " ------------                    ----------  ----------",
                         " INNER                                6           3",
                         " OUTER                                0           0",
                         " USER                                 0           0",
                     }));
  EXPECT_EQ(N1RTY(ctx, 0), 6);
}

TEST_F(HandlerStops, TypeSevenStopsOnlyAtLevelTwo) {
  auto seven = [](Context& ctx) {
    E1PSH(ctx, "OUTER ");
    E1PSH(ctx, "INNER ");
    E1MSG(ctx, 7, 4, "Fatal, printed at once.");
    E1POP(ctx, "INNER ");
    ctx.console.write_record("INNER RETURNED");
    E1POP(ctx, "OUTER ");
  };
  EXPECT_LIBRARY_STOPS(seven(ctx),
                       "^ \\*\\*\\* FATAL ERROR 4 from INNER\\.  Fatal, printed at once\\.\r\n Here is a "
                       "traceback.*\r\nINNER RETURNED\r\n$");
}

TEST_F(HandlerStops, FatalAtLevelTwoStops) {
  auto fatal = [](Context& ctx) {
    E1PSH(ctx, "LINRG ");
    E1MSG(ctx, ERR_FATAL, 1, "Stop here.");
    E1POP(ctx, "LINRG ");
  };
  EXPECT_LIBRARY_STOPS(fatal(ctx), Exactly(Lines({" *** FATAL ERROR 1 from LINRG.  Stop here."})));
}

TEST_F(Handler, ClearingAndKeptTexts) {
  // A type-0 message empties the current one: nothing left to print.
  EXPECT_EQ(WarningText("x"), Lines({" *** WARNING ERROR 1 from WRAPT.  x"}));
  Capture();
  E1PSH(ctx, "CLEAR ");
  E1MSG(ctx, ERR_WARNING, 1, "cleared");
  E1MSG(ctx, 0, 0, " ");
  E1POP(ctx, "CLEAR ");
  EXPECT_EQ(Captured(), "");
  EXPECT_EQ(N1RTY(ctx, 0), 0);

  // A code of 0 empties it too, although the type is a warning.
  Capture();
  E1PSH(ctx, "CODE0 ");
  E1MSG(ctx, ERR_WARNING, 0, "not printed");
  E1POP(ctx, "CODE0 ");
  EXPECT_EQ(Captured(), "");
  E1MSG(ctx, 0, 0, " ");

  // An empty or blank template keeps the previous text.
  for (const char* keep : {" ", ""}) {
    Capture();
    E1PSH(ctx, "KEEP  ");
    E1MSG(ctx, ERR_WARNING, 1, "previous text");
    E1MSG(ctx, ERR_WARNING, 2, keep);
    E1POP(ctx, "KEEP  ");
    EXPECT_EQ(Captured(), Lines({" *** WARNING ERROR 2 from KEEP.  previous text"}));
    E1MSG(ctx, 0, 0, " ");
  }
}

// ---- templates ---------------------------------------------------------------

TEST_F(Handler, Substitutions) {
  E1SUBI(ctx, 1, -2147483647 - 1);
  E1SUBI(ctx, 2, 0);
  E1SUBI(ctx, 3, 42);
  E1SUBR(ctx, 1, 1.0f);
  E1SUBR(ctx, 2, AMACH(ctx, 1));
  E1SUBR(ctx, 3, -0.1f);
  E1SUBR(ctx, 4, 123456789.0f);
  E1SUBR(ctx, 5, std::ldexp(1.0f, -149));
  E1SUBL(ctx, 1, "NR");
  E1SUBL(ctx, 2, "");
  const struct {
    const char* templ;
    const char* built;
  } cases[] = {
      {"%(I1) %(I2) %(I3)", "-2147483648 0 42"},
      {"%(i3)=%(I3)", "42=42"},  // letters match without regard to case
      {"%(L1) = %(I3).  %(l1) again", "NR = 42.  NR again"},
      {"[%(L2)]", "[]"},
      {"%(R1) %(R2)", "1.000000E+00 1.175770E-38"},
      {"%(r3)", "-1.000000E-01"},
      {"%(R4) %(R5)", "1.234568E+08 1.401298E-45"},
      // Keys of the other letters, and keys without a stored value, stay.
      {"%(A1) %(Z9) %(D1) %(Q1)", "%(A1) %(Z9) %(D1) %(Q1)"},
      {"%(I9) %(R9) %(L9) %(S1)", "%(I9) %(R9) %(L9) %(S1)"},
      // Not fields at all.
      {"100% %(I) %(I0) %(I1 %I1) %", "100% %(I) %(I0) %(I1 %I1) %"},
      {"%(I3)%(I3)%(I3", "4242%(I3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.templ);
    EXPECT_EQ(WarningText(c.templ), Lines({std::string(" *** WARNING ERROR 1 from WRAPT.  ") + c.built}));
  }
  // Values stay stored and can be replaced.
  E1SUBI(ctx, 3, 7);
  EXPECT_EQ(WarningText("%(I3)"), Lines({" *** WARNING ERROR 1 from WRAPT.  7"}));
  // Indices outside 1 ... 9 are ignored.
  E1SUBI(ctx, 0, 5);
  E1SUBI(ctx, 10, 5);
  E1SUBL(ctx, 0, "bad");
  E1SUBR(ctx, 10, 1.0f);
  EXPECT_EQ(WarningText("%(I3)"), Lines({" *** WARNING ERROR 1 from WRAPT.  7"}));
}

// Joins the text of wrapped lines that were cut inside words (templates
// without blanks): the first line is the heading, the others carry 56
// characters each after the prefix.
std::string Unwrapped(const std::string& printed, std::string* heading) {
  std::string text;
  size_t pos = 0;
  bool first = true;
  while (pos < printed.size()) {
    size_t end = printed.find("\r\n", pos);
    std::string line = printed.substr(pos, end - pos);
    pos = end + 2;
    if (first) {
      *heading = line;
      first = false;
    } else {
      EXPECT_EQ(line.substr(0, 14), " ***          ");
      text += line.substr(14);
    }
  }
  return text;
}

TEST_F(Handler, MessageAndStringLimits) {
  std::string heading;
  // A built message is cut at 1024 characters.
  const std::string long_text = WarningText(std::string(1100, 'a'));
  EXPECT_EQ(Unwrapped(long_text, &heading), std::string(1024, 'a'));
  EXPECT_EQ(heading, " *** WARNING ERROR 1 from WRAPT.");

  // A string value keeps 255 characters; the cut falls inside a value.
  std::string s300;
  for (int i = 0; i < 300; ++i) s300.push_back(static_cast<char>('a' + i % 26));
  E1SUBL(ctx, 8, s300);
  EXPECT_EQ(Unwrapped(WarningText("%(L8)"), &heading), s300.substr(0, 255));
  const std::string five = Unwrapped(WarningText("%(L8)%(L8)%(L8)%(L8)%(L8)"), &heading);
  ASSERT_EQ(five.size(), 1024u);
  EXPECT_EQ(five.substr(1020), s300.substr(0, 4));
}

// ---- printed form ------------------------------------------------------------

TEST_F(Handler, Wrapping) {
  // The heading " *** WARNING ERROR 1 from WRAPT.  " is 34 characters: 36
  // are left on the first line, 56 on each further line.
  const struct {
    const char* templ;
    std::vector<std::string> lines;
  } cases[] = {
      {"abcdefghi abcdefghi abcdefghi abcdef",  // exactly 70
       {" *** WARNING ERROR 1 from WRAPT.  abcdefghi abcdefghi abcdefghi abcdef"}},
      {"abcdefghi abcdefghi abcdefghi abcdefg",
       {" *** WARNING ERROR 1 from WRAPT.  abcdefghi abcdefghi abcdefghi", " ***          abcdefg"}},
      {"abcdefghi abcdefghi abcdefghi abcdef ghi",  // blank right after column 70
       {" *** WARNING ERROR 1 from WRAPT.  abcdefghi abcdefghi abcdefghi abcdef", " ***          ghi"}},
      {"abcdefghi abcdefghi abcdefghi ab.  Next sentence",  // all blanks at a break go
       {" *** WARNING ERROR 1 from WRAPT.  abcdefghi abcdefghi abcdefghi ab.", " ***          Next sentence"}},
      {"one%/two%/  three",
       {" *** WARNING ERROR 1 from WRAPT.  one", " ***          two", " ***          three"}},
      {"one %/%/two", {" *** WARNING ERROR 1 from WRAPT.  one", " ***", " ***          two"}},
      {"trailing blanks   ", {" *** WARNING ERROR 1 from WRAPT.  trailing blanks"}},
      {"aaaa bbbb cccc dddd eeee ffff gggg hhhh iiii jjjj kkkk llll mmmm nnnn oooo pppp qqqq rrrr ssss",
       {" *** WARNING ERROR 1 from WRAPT.  aaaa bbbb cccc dddd eeee ffff gggg",
        " ***          hhhh iiii jjjj kkkk llll mmmm nnnn oooo pppp qqqq rrrr",
        " ***          ssss"}},
      // A word longer than a line is cut.
      {"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx",
       {" *** WARNING ERROR 1 from WRAPT.", " ***          xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx",
        " ***          xxxxxxxx"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.templ);
    EXPECT_EQ(WarningText(c.templ), Lines(c.lines));
  }
}

TEST_F(Handler, EveryPrintedLineFitsAndEndsWithCrLf) {
  std::string templ;
  for (int i = 0; i < 120; ++i) templ += std::string(1 + (i * 7) % 13, 'w') + (i % 5 == 0 ? "  " : " ");
  const std::string out = WarningText(templ);
  size_t pos = 0;
  std::string words;
  int lines = 0;
  while (pos < out.size()) {
    const size_t end = out.find("\r\n", pos);
    ASSERT_NE(end, std::string::npos);
    const std::string line = out.substr(pos, end - pos);
    EXPECT_LE(line.size(), 70u) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_NE(line.back(), ' ');
    words += line.substr(lines == 0 ? 34 : 14) + " ";
    pos = end + 2;
    ++lines;
  }
  EXPECT_GT(lines, 10);
  // No word was split or lost.
  std::string expected;
  for (int i = 0; i < 120; ++i) expected += std::string(1 + (i * 7) % 13, 'w') + " ";
  std::string collapsed;
  for (char c : words)
    if (!(c == ' ' && !collapsed.empty() && collapsed.back() == ' ')) collapsed.push_back(c);
  EXPECT_EQ(collapsed, expected);
}

// ---- integer-argument check --------------------------------------------------

TEST_F(Handler, IntegerArgumentCheck) {
  // Raised at the program's own level, a terminal error is printed at once
  // and nothing stops it, so the text can be read back.
  const struct {
    int32_t value, lo, hi;
    const char* printed;  // empty: no error
  } cases[] = {
      {1, 1, 0, ""},
      {2147483647, 1, 0, ""},
      {0, 1, 0,
       " *** TERMINAL ERROR 4 from USER.  N = 0.  N must be greater than or\r\n"
       " ***          equal to 1.\r\n"},
      {-5, -4, -9,
       " *** TERMINAL ERROR 4 from USER.  N = -5.  N must be greater than or\r\n"
       " ***          equal to -4.\r\n"},
      {3, 3, 3, ""},
      {1, 1, 3, ""},
      {3, 1, 3, ""},
      {0, 1, 3,
       " *** TERMINAL ERROR 4 from USER.  N = 0.  N must be greater than or\r\n"
       " ***          equal to 1 and less than or equal to 3.\r\n"},
      {4, 1, 3,
       " *** TERMINAL ERROR 4 from USER.  N = 4.  N must be greater than or\r\n"
       " ***          equal to 1 and less than or equal to 3.\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " in " << c.lo << ".." << c.hi);
    int32_t code = 4;
    Capture();
    I1ACHK(ctx, c.value, "N", c.lo, c.hi, code);
    EXPECT_EQ(Captured(), c.printed);
    EXPECT_EQ(code, 5) << "the code moves on in every case";
    EXPECT_EQ(N1RTY(ctx, 0), *c.printed ? ERR_TERMINAL : 0);
    E1MSG(ctx, 0, 0, " ");
  }
}

TEST_F(Handler, IntegerArgumentChecksNumberTheirCodes) {
  Capture();
  int32_t code = 1;
  I1ACHK(ctx, 5, "M", 0, -1, code);
  I1ACHK(ctx, -1, "N", 0, -1, code);
  I1ACHK(ctx, 9, "K", 1, 3, code);
  EXPECT_EQ(code, 4);
  const std::string out = Captured();
  EXPECT_EQ(out.find("ERROR 1"), std::string::npos);
  EXPECT_NE(out.find(" *** TERMINAL ERROR 2 from USER.  N = -1.  N must"), std::string::npos);
  EXPECT_NE(out.find(" *** TERMINAL ERROR 3 from USER.  K = 9.  K must"), std::string::npos);
  EXPECT_EQ(N1RCD(ctx, 0), 3);
}

// ---- ACHAR -------------------------------------------------------------------

using Achar = Handler;

TEST_F(Achar, Characters) {
  EXPECT_EQ(ACHAR(ctx, 0), '\0');
  EXPECT_EQ(ACHAR(ctx, 65), 'A');
  EXPECT_EQ(ACHAR(ctx, 32), ' ');
  EXPECT_EQ(static_cast<unsigned char>(ACHAR(ctx, 255)), 255);
}

using AcharStops = Handler;

TEST_F(AcharStops, NegativeCode) {
  EXPECT_LIBRARY_STOPS(ACHAR(ctx, -3), Exactly(Lines({
                                           " *** TERMINAL ERROR 1 from ACHAR.  The ASCII value must be",
                                           " ***          non-negative while I = -3 is given.",
                                       })));
}

// ---- option store --------------------------------------------------------------

TEST_F(Handler, OptionGetAndPut) {
  const int32_t option17[1] = {17};
  int32_t values[2] = {-1, -1};
  IUMAG(ctx, "MATH", 1, 1, 1, option17, values);
  EXPECT_EQ(values[0], 1);
  EXPECT_EQ(values[1], 1);

  int32_t changed[2] = {1, 2};
  IUMAG(ctx, "MATH", 1, 2, 1, option17, changed);
  IUMAG(ctx, "MATH", 1, 1, 1, option17, values);
  EXPECT_EQ(values[0], 1);
  EXPECT_EQ(values[1], 2);

  // The store belongs to the run: another run still has the defaults.
  TestRun other;
  int32_t defaults[2] = {-1, -1};
  IUMAG(other.ctx, "MATH", 1, 1, 1, option17, defaults);
  EXPECT_EQ(defaults[0], 1);
  EXPECT_EQ(defaults[1], 1);

  const int32_t twice[2] = {17, 17};
  int32_t four[4] = {};
  IUMAG(ctx, "MATH", 1, 1, 2, twice, four);
  EXPECT_EQ(four[3], 2);

  int32_t original[2] = {1, 1};
  IUMAG(ctx, "MATH", 1, 2, 1, option17, original);
  IUMAG(ctx, "MATH", 1, 1, 1, option17, values);
  EXPECT_EQ(values[1], 1);

  // A count of zero moves nothing and is no error.
  IUMAG(ctx, "MATH", 1, 1, 0, nullptr, nullptr);
  EXPECT_EQ(N1RTY(ctx, 1), 0);
  EXPECT_EQ(Level(), 1);
}

using OptionsStops = Handler;

TEST_F(OptionsStops, Errors) {
  const int32_t option17[1] = {17};
  const int32_t option99[2] = {17, 99};
  int32_t values[4] = {};
  EXPECT_LIBRARY_STOPS(IUMAG(ctx, "MATH", 1, 3, 1, option17, values),
                       "^ \\*\\*\\* TERMINAL ERROR 1 from IUMAG\\.  The action must be 1 \\(get\\) or 2\r\n"
                       " \\*\\*\\*          \\(put\\) while 3 is given\\.\r\n$");
  EXPECT_LIBRARY_STOPS(IUMAG(ctx, "MATH", 0, 1, 1, option17, values), "ERROR 2 from IUMAG\\..* 0 is given\\.\r\n$");
  EXPECT_LIBRARY_STOPS(IUMAG(ctx, "MATH", 11, 1, 1, option17, values), "ERROR 2 from IUMAG\\..* 11 is given\\.\r\n$");
  EXPECT_LIBRARY_STOPS(IUMAG(ctx, "MATH", 2, 1, 1, option17, values),
                       Exactly(" *** TERMINAL ERROR 3 from IUMAG.  Chapter 2 has no options.\r\n"));
  EXPECT_LIBRARY_STOPS(IUMAG(ctx, "MATH", 1, 1, -1, option17, values), "ERROR 4 from IUMAG\\..*-1 is given\\.\r\n$");
  EXPECT_LIBRARY_STOPS(
      IUMAG(ctx, "MATH", 1, 2, 2, option99, values),
      Exactly(Lines({" *** TERMINAL ERROR 5 from IUMAG.  Option 99 is not defined in chapter", " ***          1."})));
  EXPECT_LIBRARY_STOPS(IUMAG(ctx, "MATH", 1, 1, 1, nullptr, values), "ERROR 6 from IUMAG\\.");
}

}  // namespace
