// The analysis for the web page: one call reads an Input.txt held in
// memory, as the program reads it (the same messages, the same warnings
// about the input), analyses its rows or the hypotheses given, and hands
// back what the program and its --json option would write.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <chrono>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "cli/files.h"
#include "cli/job.h"
#include "cli/json.h"
#include "cli/options.h"
#include "ineqbf/ineqbf.h"

namespace {

using emscripten::val;

// What the page asks for.
struct Request {
  std::string input;       // the text of an Input.txt
  std::string hypotheses;  // empty: the file's rows
  std::vector<std::string> names;
  int32_t seed = ineqbf::default_seed;
  ineqbf::Method method = ineqbf::Method::integration;
  double precision = 0.0;  // integration's aim; 0: the library's default
};

// The method the page names, in the analysis's settings: Gibbs, the
// program's own, or integration.
void set_method(ineqbf::Settings& settings, const Request& q) {
  settings.method = q.method;
  if (q.precision > 0) settings.precision = q.precision;
}

// The outcome, and the console as the program prints it (CR LF ends).
struct Run {
  cli::ProblemOutcome out;
  std::string console;  // CR LF line ends

  // The lines of a message (separated by '\n'), as the console prints them.
  void message(std::string_view lines) {
    size_t end = lines.find('\n');
    while (end != std::string_view::npos) {
      console.append(lines.substr(0, end)).append("\r\n");
      lines.remove_prefix(end + 1);
      end = lines.find('\n');
    }
    console.append(lines).append("\r\n");
  }
};

// Reads the problem as the program does: an error ends the run with the
// program's message, and a line-and-column hint where the text says where.
// Integration takes the values as written.
bool read(Run& run, const Request& q, ineqbf::Problem& problem) {
  ineqbf::ReadOptions options;
  options.as_written = q.method == ineqbf::Method::integration;
  ineqbf::Reader reader(options);
  reader.open_text(q.input, "Input.txt");
  try {
    problem = reader.read();
  } catch (const ineqbf::Error& e) {
    for (const std::string& w : reader.warnings()) run.out.warnings.push_back("Input.txt, " + w);
    run.console = e.console();
    run.out.status = e.status();
    run.out.message = e.message();
    return false;
  }
  run.out.warnings = reader.warnings();
  return true;
}

// The hypotheses to analyse: the text given, else the file's rows.
bool hypotheses_of(Run& run, const Request& q, ineqbf::Problem& p, std::vector<ineqbf::Hypothesis>& h) {
  run.out.names = q.names.empty() ? ineqbf::default_names(p.parameters()) : q.names;
  try {
    if (run.out.names.size() != p.means.size())
      throw ineqbf::Error(ineqbf::Status::usage,
                          "ineqbf: " + std::to_string(run.out.names.size()) + " names given, but Input.txt has " +
                              std::to_string(p.means.size()) + " parameters");
    if (q.hypotheses.empty())
      h.push_back({cli::file_rows_text(p, run.out.names), p.constraints});
    else
      h = ineqbf::parse_hypotheses(q.hypotheses, run.out.names);
  } catch (const ineqbf::Error& e) {
    const std::string message = e.message().starts_with("ineqbf: ") ? e.message() : "ineqbf: " + e.message();
    run.message(message);
    run.out.status = e.status();
    run.out.message = message;
    return false;
  }
  p.names = run.out.names;
  return true;
}

ineqbf::Settings settings_for(const Request& q, Run& run, const val& on_progress) {
  ineqbf::Settings s;
  s.seed = q.seed;
  s.threads = 1;
  set_method(s, q);
  s.console = [&run](std::string_view record) { run.console.append(record); };
  s.progress = [on_progress](const ineqbf::Progress& p) {
    on_progress(p.hypothesis, p.hypotheses, p.constraint, p.sampler == ineqbf::Sampler::fit ? 0 : 1,
                static_cast<double>(p.sweeps_done), static_cast<double>(p.sweeps_total));
  };
  return s;
}

// Each hypothesis a run of its own with the same seed; a comparison of
// them when all ended well.
void analyse_all(Run& run, const Request& q, ineqbf::Problem& p, const std::vector<ineqbf::Hypothesis>& h,
                 const val& on_progress) {
  const ineqbf::Settings settings = settings_for(q, run, on_progress);
  for (const ineqbf::Hypothesis& one : h) {
    run.out.hypotheses.push_back(one.text);
    p.constraints = one.constraints;
    try {
      run.out.results.push_back(ineqbf::analyse(p, settings));
    } catch (const ineqbf::Error& e) {
      run.out.status = e.status();
      run.out.message = e.message();
      return;
    }
  }
  if (run.out.results.size() > 1) {
    ineqbf::Comparison c = ineqbf::compare(h, run.out.results);
    c.results.clear();  // kept once, in run.out.results
    run.out.comparison = std::move(c);
  }
}

val strings(const std::vector<std::string>& v) {
  val a = val::array();
  for (const std::string& s : v) a.call<void>("push", s);
  return a;
}

val numbers(const std::vector<double>& v) {
  val a = val::array();
  for (double x : v) a.call<void>("push", x);
  return a;
}

// Everything the page shows, as a plain object.
val outcome(const Run& run, int32_t seed) {
  val o = val::object();
  o.set("status", ineqbf::exit_code(run.out.status));
  o.set("console", run.console);
  o.set("message", run.out.message);
  std::vector<std::string> warnings = run.out.warnings;
  for (size_t h = 0; h < run.out.results.size(); ++h)
    for (const ineqbf::Warning& w : run.out.results[h].warnings)
      warnings.push_back((run.out.results.size() > 1 ? "hypothesis " + std::to_string(h + 1) + ": " : "") +
                         w.message);
  o.set("warnings", strings(warnings));
  o.set("names", strings(run.out.names));
  o.set("hypotheses", strings(run.out.hypotheses));
  val reports = val::array();
  val replicates = val::array();
  for (const ineqbf::Result& r : run.out.results) {
    reports.call<void>("push", r.report);
    replicates.call<void>("push", numbers(r.bf_ia_replicates));
  }
  o.set("reports", reports);
  o.set("bfia_replicates", replicates);
  o.set("json", cli::json_document({run.out}, seed));
  return o;
}

// "a, b, c" as the names a, b and c, as the command line's --names reads
// them; nothing for an empty text.
std::vector<std::string> names_of(const std::string& text) {
  return text.empty() ? std::vector<std::string>{} : cli::split_list(text);
}

val analyse(const std::string& input, const std::string& hypotheses, const std::string& names_text,
            int32_t seed, const std::string& method, double precision, val on_progress) {
  // Any method but "gibbs" is integration, the page's default.
  const Request q{input, hypotheses, names_of(names_text), seed,
                  method == "gibbs" ? ineqbf::Method::gibbs : ineqbf::Method::integration, precision};
  const auto started = std::chrono::steady_clock::now();
  Run run;
  run.out.input = "Input.txt";
  ineqbf::Problem problem;
  std::vector<ineqbf::Hypothesis> h;
  if (read(run, q, problem) && hypotheses_of(run, q, problem, h)) analyse_all(run, q, problem, h, on_progress);
  // Named as the command line names them: Output-1.txt, … for several.
  const size_t n = run.out.results.size();
  for (size_t i = 1; i <= n; ++i)
    run.out.reports.push_back(cli::numbered("Output.txt", i, n));
  run.out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return outcome(run, seed);
}

std::string version() { return std::string(ineqbf::version()); }

}  // namespace

EMSCRIPTEN_BINDINGS(ineqbf_web) {
  emscripten::function("analyse", &analyse);
  emscripten::function("version", &version);
}
