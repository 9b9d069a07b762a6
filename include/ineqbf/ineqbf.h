// ineqbf: Bayes factors for hypotheses made of linear inequality constraints
// on model parameters, from their estimates and covariance matrix.
//
// This is the only header a caller needs. One analysis is a value: every
// call of analyse() owns everything it changes, so analyses may run in as
// many threads at once as the caller likes, and each gives exactly the bytes
// the ineqbf program gives on the same problem.
//
//   ineqbf::Problem p = ineqbf::read_problem("Input.txt");
//   ineqbf::Result r = ineqbf::analyse(p);
//   std::cout << r.report;                // the bytes of Output.txt
//
//   p.names = {"b1", "b2", "b3"};
//   ineqbf::Comparison c = ineqbf::analyse(p, "b1 > b2 > b3; b1 > b2 & b1 > b3");
//
// Every error is an ineqbf::Error carrying the program's exit status and the
// exact message text the program prints.
//
// Text: messages, consoles and reports are the bytes the program writes
// (ASCII, but for file names and names given by the caller, which are
// passed on as they are: UTF-8 when the caller's are).
#pragma once

#include <concepts>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "ineqbf/vocabulary.h"

namespace ineqbf {

// The version of the library and of the program.
std::string_view version();

// An error that ended an analysis, or a malformed request. status() is the
// exit status the program ends with; message() is the text the program
// prints for the error (several lines joined by '\n', without the CR LF of
// the console), console() everything printed to the console up to and
// including it, with CR LF line ends.
class Error : public std::runtime_error {
 public:
  Error(Status status, std::string message, std::string console = {})
      : std::runtime_error(message), status_(status), message_(std::move(message)),
        console_(std::move(console)) {}
  Status status() const noexcept { return status_; }
  const std::string& message() const noexcept { return message_; }
  const std::string& console() const noexcept { return console_; }

 private:
  Status status_;
  std::string message_;
  std::string console_;
};

// One constraint row: coefficients · θ > rhs.
struct Constraint {
  std::vector<double> coefficients;  // one per parameter
  double rhs = 0.0;
};

// The problem: the estimates of the parameters, their covariance matrix and
// the constraint rows, in the order in which they are evaluated (constraint
// k is evaluated given that rows 1 … k−1 hold). The Gibbs method rounds the
// values once to single precision when the analysis starts, as the program
// rounds the numbers it reads; integration uses them as given.
struct Problem {
  std::vector<double> means;            // the NPAR estimates
  std::vector<double> covariance;       // NPAR × NPAR, row by row: element (i, j) at [i*NPAR + j]
  std::vector<Constraint> constraints;  // NCON rows
  std::vector<std::string> names;       // optional parameter names (see default_names)

  int32_t parameters() const { return static_cast<int32_t>(means.size()); }
};

// How a file in the Input.txt format is read.
struct ReadOptions {
  // The values as written, each rounded once to double (for
  // Method::integration); otherwise rounded once to single precision, as
  // the program reads them. Either way a file is accepted or refused alike.
  bool as_written = false;
};

// Reads a problem from a file in the Input.txt format (or a folder holding
// an Input.txt), with the program's reader: the same values, the same
// errors. Throws Error (status 1 or 3) where the program stops.
Problem read_problem(const std::string& path, const ReadOptions& options = {});

// The program's reader, step by step, saying what it saw: a file that
// reads without error but perhaps not as it was meant (rows beyond the
// counts, a heading line that holds numbers or is blank, a row spilling
// onto the next line or holding more values than it needs, decimal commas,
// a covariance matrix that is not symmetric) and, after a read that failed,
// where and on what it failed, with a hint.
class Reader {
 public:
  explicit Reader(ReadOptions options = {});
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // Opens `path` as the program opens its input: a file that cannot be
  // opened is noted, and read() then fails with the program's message.
  // Messages name the file `shown` (the path when empty).
  void open(const std::string& path, const std::string& shown = {});
  // Takes the text of an Input.txt held in memory instead, named `shown`.
  void open_text(std::string_view text, const std::string& shown = "Input.txt");
  // Reads the problem; throws Error (status 1 or 3) where the program stops.
  Problem read();
  // What the reader saw, one line each without a line end, most telling
  // first; after a failed read, the first says where and on what it failed.
  const std::vector<std::string>& warnings() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};
// The same from text held in memory; `filename` names it in messages.
Problem read_problem_text(std::string_view text, std::string_view filename = "Input.txt");

// The program's console and report file, for callers that run the program
// as it runs on Input.txt: the same bytes, and the same messages when a
// file cannot be written.
//
// The console on a stream (the program's standard output): records as
// Settings::console hands them, and the lines of an Error's message, each
// pushed out at once. A write that fails is remembered and said when the
// console is closed, as the program says it.
class ProgramConsole {
 public:
  explicit ProgramConsole(std::FILE* stream);
  ~ProgramConsole();
  ProgramConsole(const ProgramConsole&) = delete;
  ProgramConsole& operator=(const ProgramConsole&) = delete;

  // Records with their CR LF, as Settings::console hands them.
  void write(std::string_view records);
  // The lines of a message (an Error's message()), separated by '\n'.
  void message(std::string_view lines);
  // Pushes out what is buffered: Status::ok, or Status::io_error (its
  // message printed, as far as the stream takes it) when a write failed.
  Status close();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The report file, opened as the program opens Output.txt: created, or
// emptied when it exists. Each step throws Error(Status::io_error) with the
// program's message where the program stops; `shown` names the file in
// messages (the path when empty).
class ReportFile {
 public:
  ReportFile();
  ~ReportFile();
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  void open(const std::string& path, const std::string& shown = {});
  void write(std::string_view report);  // Result::report
  void close();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The names used when a problem gives none: theta1, theta2, …
std::vector<std::string> default_names(int32_t parameters);

// One hypothesis: its text and the constraint rows it stands for.
struct Hypothesis {
  std::string text;
  std::vector<Constraint> constraints;
};

// Parses hypotheses written as text into
// constraint rows over the parameters `names`:
//   "b1 > b2 > b3 & b3 > 0; b1 > 2*b2 + 0.5; -1 < b3 < 1"
// Linear expressions of names and numbers with + - * and parentheses; > and
// < (>= and <= mean the same); chains (a > b > c is two rows) and ranges;
// & joins the constraints of one hypothesis, ; separates hypotheses. A name
// that is not an identifier is written between backquotes: `(Intercept)`.
// `names` must be distinct, non-empty and free of backquotes. A row whose
// coefficients all round to 0 in single precision, or a value beyond single
// precision, is refused. Throws Error (Status::usage) naming what is wrong and
// where, with a 1-based column counted in characters.
std::vector<Hypothesis> parse_hypotheses(std::string_view text,
                                         const std::vector<std::string>& names);
// The same where some parameters may also be written in a second spelling
// (the packages' names for a model's coefficients, beside their original
// labels): aliases[a] stands for parameter alias_of[a] (0-based), and its
// coefficients are added to that parameter's. An unknown name is answered
// with `names` alone; a row whose coefficients then cancel (a parameter less
// its own alias) is refused.
std::vector<Hypothesis> parse_hypotheses(std::string_view text, const std::vector<std::string>& names,
                                         const std::vector<std::string>& aliases,
                                         const std::vector<size_t>& alias_of);

// A constraint row as text over `names`, e.g. "b1 - 2*b2 > 0.5"; numbers are
// written as the shortest text that reads back to the same float, so that
// the text parses back to the row as the analysis uses it. Throws Error
// (Status::usage) when the row has not one coefficient per name.
std::string constraint_text(const Constraint& row, const std::vector<std::string>& names);

// How an analysis computes the fits and complexities.
//   gibbs        the program's method: truncated Gibbs sampling in single
//                precision, the program's console, report and bytes.
//   integration  the same quantities as multivariate normal probabilities,
//                computed without Markov chains in double precision from the
//                values as given, by randomised quasi-Monte Carlo with an
//                error from the spread over random shifts.
enum class Method { gibbs, integration };

// The prior under which integration computes the complexities.
//   normal  the vague prior N(0, BIG²·I) the model states, untruncated.
//   boxed   the same prior restricted to the box ±BIG in every parameter, as
//           the Gibbs sampler's complexity chains are; for cross-checks.
enum class ComplexityPrior { normal, boxed };

struct Settings {
  int32_t seed = default_seed;
  // Called from the analysing thread, now and then during long chains and
  // at the end of every chain.
  std::function<void(const Progress&)> progress;
  // Polled as often as progress is reported; returning true ends the
  // analysis with Error(Status::cancelled).
  std::function<bool()> cancel;
  // Called with each record printed to the console (progress lines and
  // messages), CR LF included, as it is printed.
  std::function<void(std::string_view)> console;
  // Threads one analysis may use (0: the number of cores).
  int32_t threads = 0;

  // The method; the library documents the program, so Gibbs by default.
  Method method = Method::gibbs;
  // Integration: the relative MC error of BFia aimed at; points are doubled
  // until it is reached or a cap (points or seconds) is met, which warns.
  double precision = 1e-3;
  ComplexityPrior complexity_prior = ComplexityPrior::normal;
  // Gibbs: compare the run's fits, complexities and BFia with their
  // integrated values and warn where the run is off.
  bool check = true;
  // Prior model probabilities for comparisons of hypotheses: empty for
  // equal prior odds, else one positive weight per hypothesis, or one more
  // for the unconstrained hypothesis (last). Weights are normalised.
  std::vector<double> prior;
};

// A Bayes factor (or a posterior probability) with its Monte Carlo error
// (the standard deviation of its replicates) and the 2.5 and 97.5
// percentiles of its replicates. Gibbs values are single-precision numbers
// held exactly in double.
struct Estimate {
  double value = 0.0;
  double mc_error = 0.0;
  double lower = 0.0;  // 2.5 percentile
  double upper = 0.0;  // 97.5 percentile
};

// A fit or a complexity of one constraint.
struct Probability {
  double value = 0.0;
  double mc_error = 0.0;    // its Monte Carlo error (Gibbs: the SD of its replicates)
  int64_t hits = 0;         // Gibbs: hits of the final chain
  int64_t iterations = 0;   // Gibbs: counted iterations of the final chain
  int64_t points = 0;       // integration: points of the final lattice rule, all shifts
  std::vector<double> replicates;  // Gibbs: the 1000 Beta replicates
};

struct ConstraintResult {
  Constraint row;
  Probability fit;
  Probability complexity;
};

// Something the caller should know about a result that does not stop it:
// a Gibbs estimate off its integrated value, an ill-conditioned covariance,
// a bounded region, a precision not reached, an asymmetric covariance.
struct Warning {
  std::string message;     // the text shown (no "ineqbf: " prefix, no line end)
  std::string quantity;    // "fit", "complexity", "bf_ia", or empty
  int32_t constraint = 0;  // 1-based constraint it is about, 0 for none
  double value = 0.0;      // the run's value, when quantity is set
  double integrated = 0.0; // the integrated value, when quantity is set
};

struct Result {
  Method method = Method::gibbs;
  std::vector<ConstraintResult> constraints;
  double total_fit = 0.0;
  double total_complexity = 0.0;
  Estimate bf_ia;  // the hypothesis against the unconstrained hypothesis
  Estimate bf_ic;  // the hypothesis against its complement
  // Total fit exactly 1: the complement has no support and the report reads
  // "infinit" in place of the BFic numbers (bf_ic is computed all the same).
  bool bf_ic_infinite = false;
  std::vector<double> bf_ia_replicates;  // in the order drawn (not sorted)
  std::vector<double> bf_ic_replicates;
  std::vector<Warning> warnings;
  std::string console;  // what the program prints on the console (CR LF line ends)
  std::string report;   // the bytes the program writes to Output.txt
  int32_t seed = default_seed;
};

// Analyses one problem. Throws Error where the program stops.
Result analyse(const Problem& problem, const Settings& settings = {});

// Several hypotheses over the same estimates (problem.constraints is not
// used): each is analysed as its own run with the same seed, so its numbers
// equal the program's on an Input.txt holding its rows; then they are
// compared. The comparisons are formed replicate by replicate from the
// hypotheses' BFia replicates (in the order drawn), each with its MC error
// and percentiles.
struct Comparison {
  std::vector<Hypothesis> hypotheses;
  std::vector<Result> results;  // one per hypothesis
  // bayes_factors[i][j]: hypothesis i against hypothesis j, BFia_i / BFia_j.
  std::vector<std::vector<Estimate>> bayes_factors;
  // Posterior model probabilities (equal prior odds unless Settings::prior
  // says otherwise): over the hypotheses alone, and with the unconstrained
  // hypothesis added as the last element.
  std::vector<Estimate> posterior;
  std::vector<Estimate> posterior_with_unconstrained;
};

Comparison analyse_hypotheses(const Problem& problem, const std::vector<Hypothesis>& hypotheses,
                              const Settings& settings = {});
// The hypotheses as text over problem.names (default_names when empty).
Comparison analyse_hypotheses(const Problem& problem, std::string_view hypotheses, const Settings& settings = {});

// analyse(problem, hypotheses[, settings]) with the hypotheses as rows or as
// text. A template, so that analyse(problem, {}) means one analysis with the
// default settings rather than an empty list of hypotheses.
template <class H>
  requires std::same_as<std::remove_cvref_t<H>, std::vector<Hypothesis>> || std::convertible_to<H, std::string_view>
Comparison analyse(const Problem& problem, H&& hypotheses, const Settings& settings = {}) {
  return analyse_hypotheses(problem, std::forward<H>(hypotheses), settings);
}

// The comparison of hypotheses analysed one by one (results[i] the Result of
// an analysis of hypotheses[i]'s rows with one seed), for callers that run
// them in threads of their own. Throws Error (Status::usage) when the counts
// differ.
Comparison compare(std::vector<Hypothesis> hypotheses, std::vector<Result> results,
                   const std::vector<double>& prior = {});
// Throws Error (Status::usage) when the prior model probabilities `prior`
// do not fit `hypotheses` hypotheses (see Settings::prior).
void check_prior(const std::vector<double>& prior, size_t hypotheses);

// ---- numbers as text -------------------------------------------------------
// The shortest text that reads back to the same value, in the C locale
// whatever the caller's ("0.805", "1e-07", "inf", "nan"): the numbers of
// constraint_text and of the command line's JSON.
std::string number_text(float x);
std::string number_text(double x);
// Reads a whole text as one finite decimal number ("0.001", "-1.5e3"):
// false, leaving `value` as it was, for anything else.
bool read_number(std::string_view text, double& value);
// The base-10 logarithm of a single-precision value, with the same bits on
// every platform (the JSON's log10 of a Gibbs Bayes factor).
float log10_single(float x);

// ---- checks and warnings ----------------------------------------------------
// An analysis says what the caller should know about its request and its
// result in Result::warnings; what can be said before any sampling comes
// first there, in the order check() gives it:
//   - an asymmetric covariance matrix (elements compared once rounded to
//     single precision), one warning per pair, at most five, then a count;
//   - Gibbs: a covariance matrix too ill-conditioned for single precision;
//   - constraint rows that cannot all hold. For the rows of a problem
//     analysed by Gibbs this is a warning and the run goes on as the program
//     runs it; for hypotheses (analyse with hypotheses, as text or rows) and
//     under Method::integration it is Error(Status::usage) naming the rows;
//   - rows that enclose the parameters on both sides of some direction, so
//     that the Bayes factor measures the vague prior's width.
// After a Gibbs run (Settings::check) come the fits, complexities and BFia
// that are off their integrated values, then notes on Bayes factors that
// are not finite. Comparisons add notes on comparisons and posterior
// probabilities that are not finite to the results they concern.
//
// Every function here computes in the default floating-point environment
// (round to nearest, no flush to zero, no denormals read as zero), in its
// own thread and in every thread it starts, whatever the caller has set,
// and gives the caller's environment back when it returns.
//
// The warnings analyse(problem, settings) gives before its run, for callers
// that show them at once (the command line prints them before the run
// starts, then the rest of Result::warnings, from index check().size()).
// Throws Error where analyse refuses the request before any run.
std::vector<Warning> check(const Problem& problem, const Settings& settings = {});

// Throws Error(Status::usage) when the rows of one of the hypotheses cannot
// all hold, naming the hypothesis and the rows ("hypothesis 2 (b1 > 1 &
// b1 < 0): the constraints cannot all hold: rows 1 and 2 (b1 > 1, -b1 > 0)
// contradict each other"). analyse() with hypotheses calls it before any
// run; a caller that runs the hypotheses' rows one by one calls it first.
void check_hypotheses(const Problem& problem, const std::vector<Hypothesis>& hypotheses,
                      const Settings& settings = {});

}  // namespace ineqbf
