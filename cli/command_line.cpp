// The command line: ineqbf [OPTIONS] [PATH ...].
//
// Without arguments: Input.txt of the current folder read, Output.txt
// written, the progress lines and messages on standard output, the exit
// status of the run; what is said about the input and the live progress on
// standard error. With arguments, every option, name and hypothesis is
// checked and every input read before any file is written; each problem is
// then analysed and its reports written. Everything the options add goes to
// standard error, to the files they name, or to new files; the report and
// the console lines of a problem are the same bytes whatever the options.
#include "cli/command_line.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/files.h"
#include "cli/job.h"
#include "cli/json.h"
#include "cli/options.h"
#include "cli/plain.h"
#include "cli/print.h"
#include "cli/progress.h"
#include "ineqbf/ineqbf.h"

namespace cli {

namespace {

namespace fs = std::filesystem;

// The jobs of the command line: each path's input and report.
std::vector<Job> make_jobs(const Options& o) {
  std::vector<Job> jobs;
  if (o.paths.empty()) {
    jobs.push_back({"Input.txt", "Input.txt", o.output.value_or("Output.txt"), o.output.value_or("Output.txt"),
                    "Input.txt"});
  }
  for (const std::string& path : o.paths) {
    std::error_code ec;
    Job j;
    j.shown = path;
    const bool folder = fs::is_directory(path, ec) || (!path.empty() && path.back() == '/');
    if (folder) {  // a folder: run as if there
      j.input_path = (fs::path(path) / "Input.txt").string();
      j.input_name = "Input.txt";
      j.report_path = o.output.value_or((fs::path(path) / "Output.txt").string());
      j.report_name = o.output ? *o.output : "Output.txt";
    } else {
      const fs::path p(path);
      j.input_path = j.input_name = path;
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
  return jobs;
}

// The JSON text written whole (or to standard output); false on failure,
// said on standard error.
bool write_json(const std::vector<ProblemOutcome>& outcomes, const Options& o) {
  const std::string doc = json_document(outcomes, o.seed);
  const std::string error = *o.json == "-" ? write_stream(stdout, doc, "the JSON text to standard output")
                                           : write_whole(*o.json, doc);
  if (!error.empty()) say(error + (*o.json == "-" ? "" : "; an earlier file of that name is left as it was"));
  return error.empty();
}

// Reads and checks every problem; a usage error (names, hypotheses, prior)
// ends the run before any file is written.
std::vector<Prepared> prepare_all(const std::vector<Job>& jobs, const Options& o, const Sink& sink) {
  std::vector<Prepared> all;
  for (const Job& j : jobs) all.push_back(prepare(j, o, sink));
  return all;
}

unsigned cores() {
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : n;
}

ineqbf::Status worst_status(const std::vector<ProblemOutcome>& outcomes) {
  ineqbf::Status status = ineqbf::Status::ok;
  for (const ProblemOutcome& p : outcomes) status = std::max(status, p.status);
  return status;
}

// One problem: its console on standard output, as the program prints it
// (on standard error when standard output carries the JSON text).
ineqbf::Status run_single(Prepared& p, const Options& o, ineqbf::ProgramConsole& console, ProgressLine& progress) {
  const bool json_on_stdout = o.json && *o.json == "-";
  if (p.readable) analyse_and_report(p, o, o.threads, {&console, &progress, true});
  ineqbf::Status status = p.out.status;
  if (console.close() != ineqbf::Status::ok) {
    say("cannot write the console lines to " + std::string(json_on_stdout ? "standard error" : "standard output"));
    if (status == ineqbf::Status::ok) status = ineqbf::Status::io_error;
  }
  if (!json_on_stdout) print_comparison(p.out, stdout);
  std::vector<ProblemOutcome> outcomes{std::move(p.out)};
  if (o.json && !write_json(outcomes, o) && status == ineqbf::Status::ok) status = ineqbf::Status::io_error;
  return status;
}

// Starts up to `wanted` threads running `work`; fewer when the system gives
// no more (none: the caller runs the work itself).
template <class Work>
void start_workers(std::vector<std::thread>& pool, unsigned wanted, Work& work) {
  for (unsigned t = 0; t < wanted; ++t) {
    try {
      pool.emplace_back([&work] { work(); });
    } catch (const std::system_error&) {
      break;
    }
  }
  if (pool.empty()) work();
}

// A batch: N problems at a time in threads; summaries in the order given.
ineqbf::Status run_batch(std::vector<Prepared>& problems, const Options& o) {
  const size_t n = problems.size();
  const unsigned workers = std::min<unsigned>(o.jobs > 0 ? static_cast<unsigned>(o.jobs) : cores(),
                                              static_cast<unsigned>(n));
  // The cores go to the problems first: one thread each, but the last
  // problems, started when fewer are left than workers, may use them all,
  // so that the cores of the workers that find nothing left to start do not
  // stand idle while the longest of them finishes.
  auto threads_for = [&](size_t i) {
    if (o.threads != 0) return o.threads;
    return n - i - 1 < workers ? static_cast<int32_t>(workers) : 1;
  };
  std::atomic<size_t> next{0};
  std::vector<bool> done(n, false);
  std::mutex m;
  std::condition_variable cv;
  auto work = [&] {
    for (size_t i; (i = next++) < n;) {
      if (problems[i].readable) analyse_and_report(problems[i], o, threads_for(i), {});
      std::lock_guard<std::mutex> lock(m);
      done[i] = true;
      cv.notify_all();
    }
  };
  std::vector<std::thread> pool;
  start_workers(pool, workers, work);
  std::vector<ProblemOutcome> outcomes;
  for (size_t i = 0; i < n; ++i) {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return done[i]; });
    lock.unlock();
    print_summary(problems[i].out);
  }
  for (std::thread& t : pool) t.join();
  for (Prepared& p : problems) outcomes.push_back(std::move(p.out));
  ineqbf::Status status = worst_status(outcomes);
  if (o.json && !write_json(outcomes, o) && status == ineqbf::Status::ok) status = ineqbf::Status::io_error;
  return status;
}

ineqbf::Status run_with_arguments(const Options& o) {
  const std::vector<Job> jobs = make_jobs(o);
  // The outputs that are known before reading, checked before reading.
  std::vector<Prepared> unread(jobs.size());
  for (size_t i = 0; i < jobs.size(); ++i) unread[i].job = jobs[i];
  if (const std::string error = check_outputs(unread, o); !error.empty()) {
    say_usage(error);
    return ineqbf::Status::usage;
  }
  const bool single = jobs.size() == 1;
  const bool json_on_stdout = o.json && *o.json == "-";
  ineqbf::ProgramConsole console(json_on_stdout ? stderr : stdout);
  ProgressLine progress(single && !o.quiet);
  std::vector<Prepared> problems;
  try {
    problems = prepare_all(jobs, o, single ? Sink{&console, &progress, true} : Sink{});
  } catch (const ineqbf::Error& e) {
    say_usage(e.message().starts_with("ineqbf: ") ? e.message().substr(8) : e.message());
    return e.status();
  }
  if (const std::string error = check_outputs(problems, o); !error.empty()) {
    say_usage(error);
    return ineqbf::Status::usage;
  }
  return single ? run_single(problems[0], o, console, progress) : run_batch(problems, o);
}

}  // namespace

namespace {

ineqbf::Status run(int argc, const char* const* argv) {
  // No arguments: Input.txt in, Output.txt out; what is said about the
  // input and the live progress go to standard error.
  if (argc == 0) return run_plain();

  const Parsed parsed = parse_arguments(argc, argv);
  if (!parsed.error.empty()) {
    say_usage(parsed.error);
    return ineqbf::Status::usage;
  }
  const Options& o = parsed.options;
  if (o.help || o.version) {
    const std::string text =
        o.help ? help_text() : "ineqbf " + std::string(ineqbf::version()) + "\n";
    const std::string error = write_stream(stdout, text, o.help ? "the help to standard output"
                                                                : "the version to standard output");
    if (!error.empty()) say(error);
    return error.empty() ? ineqbf::Status::ok : ineqbf::Status::io_error;
  }
  return run_with_arguments(o);
}

}  // namespace

int run_command_line(int argc, const char* const* argv) { return ineqbf::exit_code(run(argc, argv)); }

}  // namespace cli
