#include "cli/job.h"

#include "cli/checks.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <new>

namespace cli {

std::string file_rows_text(const ineqbf::Problem& p, const std::vector<std::string>& names) {
  std::string text;
  for (const ineqbf::Constraint& c : p.constraints) {
    if (!text.empty()) text += " & ";
    text += ineqbf::constraint_text(c, names);
  }
  return text;
}

namespace {

namespace fs = std::filesystem;

std::string without_prefix(const std::string& message) {
  return message.starts_with("ineqbf: ") ? message.substr(8) : message;
}

// The hypotheses of every --hypothesis option, in order; an error names
// the option it is about when there are several.
std::vector<ineqbf::Hypothesis> parse_all(const Options& o, const std::vector<std::string>& names) {
  std::vector<ineqbf::Hypothesis> all;
  for (size_t i = 0; i < o.hypotheses.size(); ++i) {
    try {
      for (ineqbf::Hypothesis& h : ineqbf::parse_hypotheses(o.hypotheses[i], names)) all.push_back(std::move(h));
    } catch (const ineqbf::Error& e) {
      if (o.hypotheses.size() == 1) throw;
      throw ineqbf::Error(e.status(), "--hypothesis " + std::to_string(i + 1) + ": " + without_prefix(e.message()));
    }
  }
  return all;
}

// Names and hypotheses of a problem that has been read.
void name_and_parse(Prepared& p, const Options& o) {
  const auto npar = static_cast<size_t>(p.problem.parameters());
  p.out.names = o.names ? *o.names : ineqbf::default_names(p.problem.parameters());
  if (p.out.names.size() != npar)
    throw ineqbf::Error(ineqbf::Status::usage, "--names gives " + std::to_string(p.out.names.size()) +
                                                  " names, but " + p.job.input_name + " has " +
                                                  std::to_string(npar) + " parameters");
  if (o.hypotheses.empty())
    p.hypotheses.push_back({file_rows_text(p.problem, p.out.names), p.problem.constraints});
  else
    p.hypotheses = parse_all(o, p.out.names);
  // Prior model probabilities fit the hypotheses: the library's own check.
  ineqbf::check_prior(o.prior, p.hypotheses.size());
  p.problem.names = p.out.names;
  // Hypotheses whose rows cannot all hold are refused before any run.
  if (!o.hypotheses.empty()) ineqbf::check_hypotheses(p.problem, p.hypotheses);
  for (const ineqbf::Hypothesis& h : p.hypotheses) p.out.hypotheses.push_back(h.text);
  for (size_t i = 1; i <= p.hypotheses.size(); ++i)
    p.out.reports.push_back(numbered(p.job.report_path, i, p.hypotheses.size()));
}

// Whether a report can be written where it goes, said before the analysis.
std::string unwritable(const std::string& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return "cannot write the report " + path + ": it is a folder";
  const bool exists = fs::exists(path, ec);
  fs::path dir = fs::path(path).parent_path();
  if (dir.empty()) dir = ".";
  if (::access(exists ? path.c_str() : dir.c_str(), exists ? W_OK : W_OK | X_OK) != 0)
    return "cannot write the report " + path + ": " + std::strerror(errno);
  return {};
}

void fail(ProblemOutcome& out, ineqbf::Status status, const std::string& message) {
  out.status = std::max(out.status, status);
  if (out.message.empty()) out.message = message;
}

}  // namespace

Prepared prepare(const Job& job, const Options& o, const Sink& sink) {
  Prepared p;
  p.job = job;
  p.out.input = job.shown;
  if (const std::string missing = missing_input(job); !missing.empty()) {
    fail(p.out, ineqbf::Status::io_error, missing);
    if (sink.warn_now) say(missing);
    return p;
  }
  ineqbf::ReadOptions ro;
  ro.as_written = o.method == ineqbf::Method::integration;
  ineqbf::Reader reader(ro);
  reader.open(job.input_path, job.input_name);
  try {
    p.problem = reader.read();
  } catch (const ineqbf::Error& e) {
    for (const std::string& w : reader.warnings()) p.out.warnings.push_back(job.input_name + ", " + w);
    if (sink.console != nullptr) sink.console->message(e.message());
    if (sink.warn_now) print_input_warnings(p.out, false);
    fail(p.out, e.status(), e.message());
    return p;
  }
  if (!o.quiet) p.out.warnings = reader.warnings();
  if (o.method == ineqbf::Method::gibbs && o.hypotheses.empty()) add_checks(p.out.warnings, p.problem, o.method);
  if (sink.warn_now) print_input_warnings(p.out, false);
  name_and_parse(p, o);
  p.readable = true;
  return p;
}

std::string check_outputs(const std::vector<Prepared>& problems, const Options& o) {
  std::vector<RunFile> inputs, outputs;
  for (const Prepared& p : problems) {
    inputs.push_back({p.job.input_path, "the input of " + p.job.shown});
    const std::vector<std::string> reports = p.readable ? p.out.reports : std::vector{p.job.report_path};
    for (size_t i = 0; i < reports.size(); ++i)
      outputs.push_back({reports[i], reports.size() > 1 ? "report " + std::to_string(i + 1) + " of " + p.job.shown
                                                        : "the report of " + p.job.shown});
  }
  if (o.json && *o.json != "-") outputs.push_back({*o.json, "the JSON file"});
  return overlapping_outputs(inputs, outputs);
}

namespace {

ineqbf::Settings settings_of(const Options& o, int32_t threads) {
  ineqbf::Settings s;
  s.seed = o.seed;
  s.threads = threads;
  s.method = o.method;
  s.precision = o.precision;
  s.check = o.check;  // the prior model probabilities enter the comparison only
  return s;
}

// Each hypothesis a run of its own, its console on the sink; false when
// one stopped (the rest are not analysed).
bool analyse_each(Prepared& p, ineqbf::Settings settings, const Sink& sink) {
  const size_t n = p.hypotheses.size();
  ineqbf::Problem problem = p.problem;
  for (size_t h = 0; h < n; ++h) {
    if (sink.console != nullptr && n > 1)
      sink.console->write(std::string("H").append(std::to_string(h + 1)) + " of " + std::to_string(n) + ": " + p.hypotheses[h].text +
                          "\r\n");
    if (sink.progress != nullptr && sink.progress->active())
      settings.progress = [&sink, h, n](const ineqbf::Progress& q) {
        ineqbf::Progress named = q;
        named.hypothesis = static_cast<int32_t>(h);
        named.hypotheses = static_cast<int32_t>(n);
        sink.progress->update(named);
      };
    problem.constraints = p.hypotheses[h].constraints;
    try {
      p.out.results.push_back(ineqbf::analyse(problem, settings));
    } catch (const ineqbf::Error& e) {
      // Its lines are on the console already, through the tap.
      fail(p.out, e.status(), e.message());
      if (e.status() == ineqbf::Status::usage && sink.warn_now) say(without_prefix(e.message()));
      return false;
    } catch (const std::bad_alloc&) {
      fail(p.out, ineqbf::Status::io_error, "memory ran out");
      return false;
    }
    if (sink.warn_now) print_result_warnings(p.out, h, false);
  }
  return true;
}

void write_reports(Prepared& p, const Sink& sink) {
  // A refused request leaves the reports as they were; a run that stopped
  // leaves its report (and those after it) empty, as the program does.
  if (p.out.status == ineqbf::Status::usage) return;
  for (size_t i = 0; i < p.out.reports.size(); ++i) {
    const std::string text = i < p.out.results.size() ? p.out.results[i].report : std::string();
    if (const std::string error = write_report(p.out.reports[i], text); !error.empty()) {
      fail(p.out, ineqbf::Status::io_error, error);
      if (sink.warn_now) say(error);
    }
  }
  const std::vector<std::string> stale = stale_reports(p.job.report_path, p.out.reports.size());
  for (const std::string& s : stale) {
    p.out.warnings.push_back(s + " is left from an earlier run with more hypotheses; it is not a report of this run");
    if (sink.warn_now) say(p.out.warnings.back());
  }
}

}  // namespace

void analyse_and_report(Prepared& p, const Options& o, int32_t threads, const Sink& sink) {
  const auto started = std::chrono::steady_clock::now();
  for (const std::string& r : p.out.reports) {
    if (const std::string error = unwritable(r); !error.empty()) {
      fail(p.out, ineqbf::Status::io_error, error);
      if (sink.warn_now) say(error);
      return;
    }
  }
  ineqbf::Settings settings = settings_of(o, threads);
  if (sink.console != nullptr) settings.console = [&sink](std::string_view record) {
      if (sink.progress != nullptr) sink.progress->clear();
      sink.console->write(record);
    };
  const bool all = analyse_each(p, settings, sink);
  if (sink.progress != nullptr) sink.progress->clear();
  write_reports(p, sink);
  if (all && p.out.results.size() > 1) {
    ineqbf::Comparison c = ineqbf::compare(p.hypotheses, p.out.results, o.prior);
    c.results.clear();  // kept once, in out.results
    p.out.comparison = std::move(c);
  }
  p.out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

}  // namespace cli
