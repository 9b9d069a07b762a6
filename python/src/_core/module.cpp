// ineqbf._core: the engine's API (include/ineqbf/ineqbf.h) for Python.
//
// Every analysis runs with the GIL released. The engine polls its cancel
// hook now and then; the hook takes the GIL for a moment to check for a
// pending signal (Ctrl-C) and to call the caller's callbacks, and a Python
// exception raised there (KeyboardInterrupt included) ends the analysis and
// is raised again once the engine has returned. Results come back as plain
// dicts and tuples; the package's Python layer turns them into classes.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/command_line.h"
#include "ineqbf/ineqbf.h"

namespace py = pybind11;

namespace {

// Text from the engine (reports, messages, file names) as str; bytes that
// are not UTF-8 survive as lone surrogates, as in file names from os.
py::str text(const std::string& s) {
  PyObject* o = PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "surrogateescape");
  if (!o) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(o);
}

// The exception classes of ineqbf._errors, looked up when the module loads
// and kept for the life of the process.
py::object* error_class = nullptr;
py::object* usage_error_class = nullptr;

[[noreturn]] void raise_error(const ineqbf::Error& e) {
  py::object cls = e.status() == ineqbf::status_usage ? *usage_error_class : *error_class;
  py::object exc = cls(e.status(), text(e.message()), text(e.console()));
  PyErr_SetObject(cls.ptr(), exc.ptr());
  throw py::error_already_set();
}

// The Python side of one analysis: the caller's callbacks and whether a
// Python exception is waiting to be raised.
struct Hooks {
  py::object progress = py::none();  // or a callable taking a Progress
  py::object cancel = py::none();    // or a callable returning a truth value
  bool check_signals = false;
  bool python_error = false;  // a Python exception is set in the analysing thread

  bool any() const { return check_signals || !progress.is_none() || !cancel.is_none(); }

  // The engine's settings; the hooks refer to this object, which outlives
  // the analysis.
  ineqbf::Settings settings(int32_t seed) {
    ineqbf::Settings s;
    s.seed = seed;
    if (!any()) return s;
    s.cancel = [this]() -> bool {
      if (python_error) return true;
      py::gil_scoped_acquire gil;
      if (check_signals && PyErr_CheckSignals() != 0) return python_error = true;
      if (cancel.is_none()) return false;
      try {
        return cancel().cast<bool>();
      } catch (py::error_already_set& e) {
        e.restore();
        return python_error = true;
      }
    };
    if (!progress.is_none()) {
      s.progress = [this](const ineqbf::Progress& p) {
        if (python_error) return;
        py::gil_scoped_acquire gil;
        try {
          progress(p);
        } catch (py::error_already_set& e) {
          e.restore();
          python_error = true;  // the next poll of cancel ends the analysis
        }
      };
    }
    return s;
  }

  // Runs `work` without the GIL; raises the Python exception of a callback
  // (it wins over the engine's "cancelled"), or the engine's error.
  template <class Work>
  auto run(Work&& work) -> decltype(work()) {
    std::optional<decltype(work())> out;
    std::optional<ineqbf::Error> error;
    {
      py::gil_scoped_release release;
      try {
        out.emplace(work());
      } catch (const ineqbf::Error& e) {
        error.emplace(e);
      }
    }
    if (python_error) throw py::error_already_set();
    if (error) raise_error(*error);
    return std::move(*out);
  }
};

Hooks make_hooks(py::object progress, py::object cancel) {
  Hooks h;
  h.progress = std::move(progress);
  h.cancel = std::move(cancel);
  // Signals reach Python in the main thread only; elsewhere the check would
  // cost a GIL round trip for nothing.
  h.check_signals = PyThread_get_thread_ident() ==
                    py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>();
  return h;
}

template <class T>
py::array_t<T> array(const std::vector<T>& v) {
  return py::array_t<T>(static_cast<py::ssize_t>(v.size()), v.data());
}

py::tuple estimate(const ineqbf::Estimate& e) {
  return py::make_tuple(e.value, e.mc_error, e.lower, e.upper);
}

py::list constraints(const std::vector<ineqbf::Constraint>& rows) {
  py::list out;
  for (const ineqbf::Constraint& c : rows) out.append(py::make_tuple(c.coefficients, c.rhs));
  return out;
}

py::dict result(const ineqbf::Result& r, const std::vector<std::string>& names) {
  py::list rows;
  for (const ineqbf::ConstraintResult& c : r.constraints) {
    py::dict d;
    d["coefficients"] = c.row.coefficients;
    d["rhs"] = c.row.rhs;
    d["text"] = text(ineqbf::constraint_text(c.row, names));
    d["fit"] = c.fit.value;
    d["complexity"] = c.complexity.value;
    d["fit_hits"] = c.fit.hits;
    d["complexity_hits"] = c.complexity.hits;
    d["fit_iterations"] = c.fit.iterations;
    d["complexity_iterations"] = c.complexity.iterations;
    d["fit_replicates"] = array(c.fit.replicates);
    d["complexity_replicates"] = array(c.complexity.replicates);
    rows.append(std::move(d));
  }
  py::dict d;
  d["constraints"] = std::move(rows);
  d["total_fit"] = r.total_fit;
  d["total_complexity"] = r.total_complexity;
  d["bf_ia"] = estimate(r.bf_ia);
  d["bf_ic"] = estimate(r.bf_ic);
  d["bf_ic_infinite"] = r.bf_ic_infinite;
  d["bf_ia_replicates"] = array(r.bf_ia_replicates);
  d["bf_ic_replicates"] = array(r.bf_ic_replicates);
  d["console"] = text(r.console);
  d["report"] = text(r.report);
  d["seed"] = r.seed;
  return d;
}

py::dict problem_dict(const ineqbf::Problem& p) {
  py::dict d;
  d["means"] = p.means;
  d["covariance"] = p.covariance;
  d["constraints"] = constraints(p.constraints);
  return d;
}

std::vector<std::string> names_or_default(std::vector<std::string> names, size_t parameters) {
  return names.empty() ? ineqbf::default_names(static_cast<int32_t>(parameters)) : names;
}

ineqbf::Problem make_problem(std::vector<double> means, std::vector<double> covariance,
                             std::vector<std::string> names) {
  ineqbf::Problem p;
  p.means = std::move(means);
  p.covariance = std::move(covariance);
  p.names = std::move(names);
  return p;
}

// Several hypotheses given as text over the problem's names, compared.
py::dict analyse_hypotheses(std::vector<double> means, std::vector<double> covariance,
                            std::vector<std::string> names, const std::string& hypotheses, int32_t seed,
                            py::object progress, py::object cancel) {
  const ineqbf::Problem p = make_problem(std::move(means), std::move(covariance), std::move(names));
  Hooks hooks = make_hooks(std::move(progress), std::move(cancel));
  const ineqbf::Settings settings = hooks.settings(seed);
  const ineqbf::Comparison c = hooks.run([&] { return ineqbf::analyse(p, hypotheses, settings); });

  const std::vector<std::string> used = names_or_default(p.names, p.means.size());
  py::list hyps, results, bayes_factors;
  for (size_t h = 0; h < c.hypotheses.size(); ++h) {
    hyps.append(text(c.hypotheses[h].text));
    results.append(result(c.results[h], used));
    py::list row;
    for (const ineqbf::Estimate& e : c.bayes_factors[h]) row.append(estimate(e));
    bayes_factors.append(std::move(row));
  }
  py::list posterior, posterior_u;
  for (const ineqbf::Estimate& e : c.posterior) posterior.append(estimate(e));
  for (const ineqbf::Estimate& e : c.posterior_with_unconstrained) posterior_u.append(estimate(e));
  py::dict d;
  d["names"] = used;
  d["hypotheses"] = std::move(hyps);
  d["results"] = std::move(results);
  d["bayes_factors"] = std::move(bayes_factors);
  d["posterior"] = std::move(posterior);
  d["posterior_with_unconstrained"] = std::move(posterior_u);
  return d;
}

// The program's run on a file: read the problem, analyse its own rows.
py::dict analyse_file(const std::string& path, int32_t seed, py::object progress, py::object cancel) {
  Hooks hooks = make_hooks(std::move(progress), std::move(cancel));
  const ineqbf::Settings settings = hooks.settings(seed);
  std::vector<std::string> names;
  const ineqbf::Result r = hooks.run([&] {
    const ineqbf::Problem p = ineqbf::read_problem(path);
    names = ineqbf::default_names(p.parameters());
    return ineqbf::analyse(p, settings);
  });
  py::dict d;
  d["names"] = names;
  d["result"] = result(r, names);
  return d;
}

py::dict read_problem(const std::string& path) {
  Hooks hooks;
  return problem_dict(hooks.run([&] { return ineqbf::read_problem(path); }));
}

py::list parse_hypotheses(const std::string& textual, const std::vector<std::string>& names) {
  std::vector<ineqbf::Hypothesis> hs;
  try {
    hs = ineqbf::parse_hypotheses(textual, names);
  } catch (const ineqbf::Error& e) {
    raise_error(e);
  }
  py::list out;
  for (const ineqbf::Hypothesis& h : hs) out.append(py::make_tuple(text(h.text), constraints(h.constraints)));
  return out;
}

py::str constraint_text(std::vector<double> coefficients, double rhs, const std::vector<std::string>& names) {
  if (coefficients.size() != names.size())
    raise_error(ineqbf::Error(ineqbf::status_usage, "the row has " + std::to_string(coefficients.size()) +
                                                        " coefficients for " + std::to_string(names.size()) +
                                                        " names"));
  return text(ineqbf::constraint_text({std::move(coefficients), rhs}, names));
}

// The command line on the process's standard streams, with the GIL
// released; the caller has flushed Python's streams.
int run_command_line(const std::vector<std::string>& args) {
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  py::gil_scoped_release release;
  const int status = cli::run_command_line(static_cast<int>(args.size()), argv.data());
  std::fflush(stdout);
  std::fflush(stderr);
  return status;
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "The ineqbf engine; use the ineqbf package, not this module.";
  py::module_ errors = py::module_::import("ineqbf._errors");
  error_class = new py::object(errors.attr("IneqbfError"));
  usage_error_class = new py::object(errors.attr("IneqbfUsageError"));

  py::class_<ineqbf::Progress>(m, "Progress", "Where a running analysis is: the chain of one sampler.")
      .def_readonly("constraint", &ineqbf::Progress::constraint, "The constraint row, 1-based.")
      .def_property_readonly(
          "sampler",
          [](const ineqbf::Progress& p) { return p.sampler == ineqbf::Sampler::fit ? "fit" : "complexity"; },
          "'fit' or 'complexity'.")
      .def_readonly("iterations", &ineqbf::Progress::iterations, "Counted iterations of the current chain.")
      .def_readonly("sweeps_done", &ineqbf::Progress::sweeps_done, "Sweeps of the current chain done.")
      .def_readonly("sweeps_total", &ineqbf::Progress::sweeps_total,
                    "Sweeps of the current chain in all (100 burn-in sweeps plus the iterations).")
      .def("__repr__", [](const ineqbf::Progress& p) {
        return "Progress(constraint=" + std::to_string(p.constraint) + ", sampler='" +
               (p.sampler == ineqbf::Sampler::fit ? "fit" : "complexity") +
               "', iterations=" + std::to_string(p.iterations) + ", sweeps_done=" + std::to_string(p.sweeps_done) +
               ", sweeps_total=" + std::to_string(p.sweeps_total) + ")";
      });

  m.attr("DEFAULT_SEED") = ineqbf::default_seed;
  m.def("version", [] { return std::string(ineqbf::version()); });
  m.def("default_names", [](int32_t n) { return ineqbf::default_names(n); });
  m.def("analyse_hypotheses", &analyse_hypotheses, py::arg("means"), py::arg("covariance"), py::arg("names"),
        py::arg("hypotheses"), py::arg("seed"), py::arg("progress"), py::arg("cancel"));
  m.def("analyse_file", &analyse_file, py::arg("path"), py::arg("seed"), py::arg("progress"),
        py::arg("cancel"));
  m.def("read_problem", &read_problem, py::arg("path"));
  m.def("parse_hypotheses", &parse_hypotheses, py::arg("text"), py::arg("names"));
  m.def("constraint_text", &constraint_text, py::arg("coefficients"), py::arg("rhs"), py::arg("names"));
  m.def("run_command_line", &run_command_line, py::arg("args"));
}
