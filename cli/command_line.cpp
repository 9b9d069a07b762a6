// The command line: ineqbf [OPTIONS] [PATH ...].
//
// Without arguments the program is what it has always been: Input.txt of the
// current folder read, Output.txt written, the progress lines and messages on
// standard output, the exit status of the run. Everything the options add
// goes to standard error, to the files they name, or to new files; the
// report and the console lines of a problem are the same bytes whatever the
// options.
#include "cli/command_line.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "api/internal.h"
#include "cli/input_check.h"
#include "cli/json.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "driver/run.h"
#include "ineqbf/ineqbf.h"
#include "textio/textio.h"

namespace cli {

namespace {

namespace fs = std::filesystem;

constexpr int INPUT_UNIT = 10;
constexpr int OUTPUT_UNIT = 20;

// One problem of the command line: where its input is and where its
// report goes, each with the name that messages give it.
struct Job {
  std::string input_path;
  std::string input_name;
  std::string report_path;
  std::string report_name;
  std::string shown;  // the path as given, for summaries and JSON
};

// Report `path` of hypothesis i (1-based) of n: the path itself for one
// hypothesis, "Output-2.txt" for the second of several.
std::string numbered(const std::string& path, size_t i, size_t n) {
  if (n <= 1) return path;
  const fs::path p(path);
  return (p.parent_path() / (p.stem().string() + "-" + std::to_string(i) + p.extension().string())).string();
}

// The jobs of the command line, or an error text when two of them would
// write the same report or a report would overwrite an input.
std::vector<Job> make_jobs(const Options& o, std::string& error) {
  std::vector<Job> jobs;
  if (o.paths.empty()) {
    jobs.push_back({"Input.txt", "Input.txt", o.output.value_or("Output.txt"),
                    o.output.value_or("Output.txt"), "Input.txt"});
  }
  for (const std::string& path : o.paths) {
    std::error_code ec;
    Job j;
    j.shown = path;
    if (fs::is_directory(path, ec)) {
      // A folder: run as if there.
      j.input_path = (fs::path(path) / "Input.txt").string();
      j.input_name = "Input.txt";
      j.report_path = o.output.value_or((fs::path(path) / "Output.txt").string());
      j.report_name = o.output ? *o.output : "Output.txt";
    } else {
      j.input_path = path;
      j.input_name = path;
      const fs::path p(path);
      if (o.output)
        j.report_path = *o.output;
      else if (p.filename() == "Input.txt")
        j.report_path = (p.parent_path() / "Output.txt").string();
      else
        j.report_path = (p.parent_path() / (p.stem().string() + ".out.txt")).string();
      j.report_name = j.report_path;
    }
    jobs.push_back(std::move(j));
  }
  // No report may overwrite an input or another report.
  auto same = [](const std::string& a, const std::string& b) {
    std::error_code ec1, ec2;
    return fs::weakly_canonical(a, ec1) == fs::weakly_canonical(b, ec2);
  };
  for (size_t i = 0; i < jobs.size(); ++i) {
    for (size_t k = 0; k < jobs.size(); ++k) {
      if (same(jobs[i].report_path, jobs[k].input_path)) {
        error = "the report of " + jobs[i].shown + " would overwrite the input " + jobs[k].input_path;
        return {};
      }
      if (k > i && same(jobs[i].report_path, jobs[k].report_path)) {
        error = jobs[i].shown + " and " + jobs[k].shown + " would both write their report to " +
                jobs[i].report_path;
        return {};
      }
    }
  }
  return jobs;
}

// The number of hypotheses in a --hypothesis text: its parts between
// semicolons outside backquotes (one semicolon at the end does not count).
size_t count_hypotheses(const std::string& text) {
  size_t n = 1;
  bool quoted = false;
  size_t last = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '`') quoted = !quoted;
    if (text[i] == ';' && !quoted) {
      ++n;
      last = i;
    }
  }
  if (n > 1 && text.find_first_not_of(" \t\r\n", last + 1) == std::string::npos) --n;
  return n;
}

std::string file_rows_text(const ineqbf::Problem& p, const std::vector<std::string>& names) {
  std::string text;
  for (const ineqbf::Constraint& c : p.constraints) {
    if (!text.empty()) text += " & ";
    text += ineqbf::constraint_text(c, names);
  }
  return text;
}

// Where the console lines of a problem go: standard output for a problem
// alone, kept (and dropped) for one of a batch.
struct ConsoleSink {
  textio::Console* console = nullptr;  // the stream console, or null
  ProgressLine* progress = nullptr;
  bool warn_now = false;               // print warnings as soon as they are known
};

void print_warnings(const ProblemOutcome& p, bool with_path) {
  for (const std::string& w : p.warnings)
    std::fprintf(stderr, "ineqbf: %s%s%s\n", with_path ? p.input.c_str() : "", with_path ? ": " : "",
                 w.c_str());
}

// Runs one problem: opens its files as the program does, reads it (noting
// its layout), then analyses the file's rows or each hypothesis, writing
// every report. Never throws.
ProblemOutcome run_job(const Job& job, const Options& o, const ConsoleSink& sink) {
  const auto started = std::chrono::steady_clock::now();
  ProblemOutcome out;
  out.input = job.shown;
  const size_t nreports = o.hypothesis ? count_hypotheses(*o.hypothesis) : 1;
  for (size_t i = 1; i <= nreports; ++i) out.reports.push_back(numbered(job.report_path, i, nreports));

  // The console: progress lines and messages as the program prints them.
  textio::Console kept;
  textio::Console& console = sink.console != nullptr ? *sink.console : kept;
  auto print = [&](const std::string& lines) {
    if (sink.progress != nullptr) sink.progress->clear();
    console.write_message_lines(lines);
  };
  auto finish = [&](int status, std::string message) {
    out.status = std::max(out.status, status);
    if (out.message.empty()) out.message = std::move(message);
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return out;
  };

  // Files and reading, in the program's order: the input opened, the
  // report created (emptied), then the problem read.
  ReadLog log;
  textio::InputUnit in;
  in.keep_trace(&log.statements, &log.commas);
  std::vector<textio::OutputUnit> reports(nreports);
  driver::ProblemArrays arrays;
  try {
    in.open(INPUT_UNIT, job.input_path, job.input_name);
    for (size_t i = 0; i < nreports; ++i)
      reports[i].open(OUTPUT_UNIT, out.reports[i], numbered(job.report_name, i + 1, nreports));
    driver::read_problem(arrays, in);
  } catch (const textio::RunEnded& e) {
    const std::string detail = read_failure_detail(in.failure(), log, arrays);
    if (!detail.empty()) out.warnings.push_back(job.input_name + ", " + detail);
    print(e.pending);
    if (sink.warn_now) print_warnings(out, false);
    return finish(e.status, e.pending);
  }
  try {
    if (!o.quiet) out.warnings = layout_warnings(arrays, log, in);
  } catch (const textio::RunEnded&) {
    // The rest of the file could not be read: nothing more to say of it.
  }
  in.close();
  if (sink.warn_now) {
    if (sink.progress != nullptr) sink.progress->clear();
    print_warnings(out, false);
  }

  // The problem, the names, the hypotheses.
  ineqbf::Problem problem;
  try {
    problem = ineqbf::detail::problem_from_arrays(arrays);
  } catch (const std::bad_alloc&) {
    print(ineqbf::detail::kNoMemory);
    return finish(textio::EXIT_IO_ERROR, ineqbf::detail::kNoMemory);
  }
  out.names = o.names.empty() ? ineqbf::default_names(problem.parameters()) : o.names;
  std::vector<ineqbf::Hypothesis> hypotheses;
  try {
    if (out.names.size() != problem.means.size())
      throw ineqbf::Error(ineqbf::status_usage,
                          "ineqbf: --names gives " + std::to_string(out.names.size()) + " names, but " +
                              job.input_name + " has " + std::to_string(problem.means.size()) +
                              " parameters");
    if (o.hypothesis) {
      hypotheses = ineqbf::parse_hypotheses(*o.hypothesis, out.names);
      // The reports were named from a count of the text's parts.
      if (hypotheses.size() != nreports)
        throw ineqbf::Error(ineqbf::status_usage, "the hypotheses could not be counted: " +
                                                      std::to_string(hypotheses.size()) + " parsed, " +
                                                      std::to_string(nreports) + " counted");
    } else
      hypotheses.push_back({file_rows_text(problem, out.names), problem.constraints});
  } catch (const ineqbf::Error& e) {
    std::string message = e.message().starts_with("ineqbf: ") ? e.message() : "ineqbf: " + e.message();
    print(message);
    return finish(e.status(), message);
  }
  problem.names = out.names;

  // Each hypothesis a run of its own; its report written as the program
  // writes one.
  ineqbf::Settings settings;
  settings.seed = o.seed;
  settings.threads = o.threads;
  if (sink.console != nullptr) {
    settings.console = [&](std::string_view record) {
      if (sink.progress != nullptr) sink.progress->clear();
      record.remove_suffix(2);  // the console adds the record end again
      console.write_record(record);
    };
  }
  if (sink.progress != nullptr && sink.progress->active())
    settings.progress = [&](const ineqbf::Progress& p) { sink.progress->update(p); };
  bool all = true;
  for (size_t h = 0; h < hypotheses.size(); ++h) {
    out.hypotheses.push_back(hypotheses[h].text);
    problem.constraints = hypotheses[h].constraints;
    try {
      try {
        ineqbf::Result r = ineqbf::analyse(problem, settings);
        reports[h].write_text(r.report);
        reports[h].close();
        out.results.push_back(std::move(r));
      } catch (const ineqbf::Error& e) {
        // Its lines are on the console already (through the tap) when it
        // prints on a stream.
        if (sink.console == nullptr) console.write_message_lines(e.message());
        finish(e.status(), e.message());
        all = false;
        break;
      }
    } catch (const textio::RunEnded& e) {  // the report could not be written
      print(e.pending);
      finish(e.status, e.pending);
      all = false;
      break;
    }
  }
  if (all && out.results.size() > 1) {
    ineqbf::Comparison c;
    c.hypotheses = hypotheses;
    c.results = out.results;
    ineqbf::detail::compare(c, {});
    c.results.clear();  // kept once, in out.results
    out.comparison = std::move(c);
  }
  return finish(out.status, {});
}

// The comparison table printed on standard output after several hypotheses.
void print_comparison(const ProblemOutcome& p) {
  if (!p.comparison) return;
  std::printf("\nHypothesis%*sBFia   MC error    PMP   PMP with Hu\n", 32, "");
  for (size_t h = 0; h < p.results.size(); ++h) {
    std::string text = p.hypotheses[h];
    if (text.size() > 40) text = text.substr(0, 37) + "...";
    std::printf("H%-2zu %-36s %10.4g %10.3g %6.3f %9.3f\n", h + 1, text.c_str(),
                static_cast<double>(p.results[h].bf_ia.value), static_cast<double>(p.results[h].bf_ia.mc_error),
                static_cast<double>(p.comparison->posterior[h].value),
                static_cast<double>(p.comparison->posterior_with_unconstrained[h].value));
  }
  std::printf("Hu  %-36s %10s %10s %6s %9.3f\n", "(unconstrained)", "1", "", "",
              static_cast<double>(p.comparison->posterior_with_unconstrained.back().value));
  std::fflush(stdout);
}

// The summary line of a problem of a batch.
void print_summary(const ProblemOutcome& p) {
  std::string bfs;
  for (const ineqbf::Result& r : p.results) {
    char b[32];
    std::snprintf(b, sizeof b, "%s%.4g", bfs.empty() ? "" : ", ", static_cast<double>(r.bf_ia.value));
    bfs += b;
  }
  std::fprintf(stderr, "%s: status %d, BFia %s, %.2f s\n", p.input.c_str(), p.status,
               bfs.empty() ? "-" : bfs.c_str(), p.seconds);
  if (p.status != 0 && !p.message.empty()) {
    std::string m = p.message;
    for (size_t i = 0; (i = m.find('\n', i)) != std::string::npos; i += 3) m.replace(i, 1, "\n  ");
    std::fprintf(stderr, "  %s\n", m.c_str());
  }
  print_warnings(p, true);
}

int write_json(const std::vector<ProblemOutcome>& outcomes, const Options& o) {
  const std::string doc = json_document(outcomes, o.seed);
  if (*o.json == "-") {
    std::fwrite(doc.data(), 1, doc.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  std::FILE* f = std::fopen(o.json->c_str(), "wb");
  const bool ok = f != nullptr && std::fwrite(doc.data(), 1, doc.size(), f) == doc.size() &&
                  std::fflush(f) == 0;
  if (f != nullptr && std::fclose(f) != 0) return 1;
  if (!ok) {
    std::fprintf(stderr, "ineqbf: cannot write the JSON file %s\n", o.json->c_str());
    return 1;
  }
  return 0;
}

// The program without arguments, on its own code path: Input.txt read,
// Output.txt written, the console on standard output, the run's status;
// warnings about the input and the live progress on standard error.
int run_plain() {
  textio::Console console(stdout);
  ProgressLine progress(true);
  ReadLog log;
  ProblemOutcome said;
  driver::RunWatch watch;
  watch.statements = &log.statements;
  watch.commas = &log.commas;
  watch.read_done = [&](textio::InputUnit& in, const driver::ProblemArrays& p) {
    try {
      said.warnings = layout_warnings(p, log, in);
    } catch (const textio::RunEnded&) {
      // The rest of the file could not be read: nothing more to say of it.
    }
    print_warnings(said, false);
  };
  std::string detail;
  watch.read_failed = [&](const textio::InputUnit& in, const driver::ProblemArrays& p) {
    detail = read_failure_detail(in.failure(), log, p);
  };
  if (progress.active())
    watch.hooks.progress = [&](int32_t k, driver::SamplerKind kind, int32_t niter, int64_t done,
                               int64_t total) { progress.update(ineqbf::detail::progress_of(k, kind, niter, done, total)); };
  const int status = driver::run(console, &watch);
  progress.clear();
  if (!detail.empty()) std::fprintf(stderr, "ineqbf: Input.txt, %s\n", detail.c_str());
  return status;
}

unsigned cores() {
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : n;
}

}  // namespace

int run_command_line(int argc, const char* const* argv) {
  // No arguments: the program as it has always run; what is said about its
  // input and the live progress go to standard error.
  if (argc == 0) return run_plain();

  const Parsed parsed = parse_arguments(argc, argv);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "ineqbf: %s\n%s", parsed.error.c_str(), usage_text().c_str());
    return EXIT_USAGE;
  }
  const Options& o = parsed.options;
  if (o.help) {
    std::fputs(help_text().c_str(), stdout);
    return 0;
  }
  if (o.version) {
    std::printf("ineqbf %s\n", std::string(ineqbf::version()).c_str());
    return 0;
  }
  std::string error;
  const std::vector<Job> jobs = make_jobs(o, error);
  if (!error.empty()) {
    std::fprintf(stderr, "ineqbf: %s\n%s", error.c_str(), usage_text().c_str());
    return EXIT_USAGE;
  }

  std::vector<ProblemOutcome> outcomes(jobs.size());
  const bool json_on_stdout = o.json && *o.json == "-";
  if (jobs.size() == 1) {
    // One problem: its console on standard output, as the program prints it
    // (on standard error when standard output carries the JSON text).
    textio::Console console(json_on_stdout ? stderr : stdout);
    ProgressLine progress(!o.quiet);
    outcomes[0] = run_job(jobs[0], o, {&console, &progress, true});
    progress.clear();
    int status = outcomes[0].status;
    try {
      console.close();
    } catch (const textio::RunEnded& e) {
      if (status == 0) status = e.status;
    }
    if (!json_on_stdout) print_comparison(outcomes[0]);
    if (o.json && write_json(outcomes, o) != 0 && status == 0) status = 1;
    return status;
  }

  // A batch: N problems at a time in threads; summaries in the order given.
  const unsigned workers = std::min<unsigned>(o.jobs > 0 ? static_cast<unsigned>(o.jobs) : cores(),
                                              static_cast<unsigned>(jobs.size()));
  // The cores go to the problems first: one thread each, but the last
  // problems, started when fewer are left than workers, may use them all,
  // so that the cores of the workers that find nothing left to start do not
  // stand idle while the longest of them finishes.
  auto options_for = [&](size_t i) {
    Options per_job = o;
    if (per_job.threads == 0) {
      const size_t after = jobs.size() - i - 1;  // problems still to start after this one
      per_job.threads = after < workers ? static_cast<int32_t>(workers) : 1;
    }
    return per_job;
  };
  std::atomic<size_t> next{0};
  std::vector<bool> done(jobs.size(), false);
  std::mutex m;
  std::condition_variable cv;
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < workers; ++t)
    pool.emplace_back([&] {
      for (size_t i; (i = next++) < jobs.size();) {
        ProblemOutcome r = run_job(jobs[i], options_for(i), {});
        std::lock_guard<std::mutex> lock(m);
        outcomes[i] = std::move(r);
        done[i] = true;
        cv.notify_all();
      }
    });
  int status = 0;
  for (size_t i = 0; i < jobs.size(); ++i) {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return done[i]; });
    lock.unlock();
    print_summary(outcomes[i]);
    status = std::max(status, outcomes[i].status);
  }
  for (std::thread& t : pool) t.join();
  if (o.json && write_json(outcomes, o) != 0 && status == 0) status = 1;
  return status;
}

}  // namespace cli
