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

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "cli/command_line.h"
#include "ineqbf/fields.h"
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
  py::object cls = e.status() == ineqbf::Status::usage ? *usage_error_class : *error_class;
  py::object exc = cls(ineqbf::exit_code(e.status()), text(e.message()), text(e.console()));
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
  ineqbf::Settings settings(ineqbf::Settings s) {
    if (!any()) return s;
    s.cancel = [this]() -> bool { return poll(); };
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

  // Whether to stop: a pending signal, a Python exception, or the caller's
  // cancel returning True. A cancel that returns anything but a bool is the
  // caller's mistake, said as a TypeError rather than guessed at.
  bool poll() {
    if (python_error) return true;
    py::gil_scoped_acquire gil;
    if (check_signals && PyErr_CheckSignals() != 0) return python_error = true;
    if (cancel.is_none()) return false;
    try {
      const py::object answer = cancel();
      if (PyBool_Check(answer.ptr())) return answer.ptr() == Py_True;
      if (std::string_view(Py_TYPE(answer.ptr())->tp_name) == "numpy.bool_") return PyObject_IsTrue(answer.ptr()) == 1;
      PyErr_Format(PyExc_TypeError, "cancel must return True or False, not %R (of type %s)", answer.ptr(),
                   Py_TYPE(answer.ptr())->tp_name);
      return python_error = true;
    } catch (py::error_already_set& e) {
      e.restore();
      return python_error = true;
    }
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

py::list constraints(const std::vector<ineqbf::Constraint>& rows) {
  py::list out;
  for (const ineqbf::Constraint& c : rows) out.append(py::make_tuple(c.coefficients, c.rhs));
  return out;
}

// The fields of a result (ineqbf/fields.h) as Python values: a dict per
// result, constraint and warning; an estimate as a tuple in its fields'
// order; replicates as NumPy arrays.
struct PythonFields {
  const std::vector<std::string>& names;
  py::dict out;

  template <class T>
  void operator()(std::string_view name, const T& value) {
    put(py::str(std::string(name)), value);
  }

  py::object of(double x) const { return py::float_(x); }
  py::object of(int64_t n) const { return py::int_(n); }
  py::object of(int32_t n) const { return py::int_(n); }
  py::object of(bool b) const { return py::bool_(b); }
  py::object of(const std::string& s) const { return text(s); }
  py::object of(ineqbf::Method m) const { return py::str(std::string(ineqbf::name_of(m))); }
  py::object of(ineqbf::Replicates r) const { return array(r.values); }
  py::object of(ineqbf::Output o) const { return text(o.bytes); }
  py::object of(const ineqbf::Estimate& e) const {
    py::list values;
    ineqbf::visit_fields(e, [&](std::string_view, double x) { values.append(x); });
    return py::tuple(values);
  }
  template <class Item>
  py::object of(const std::vector<Item>& items) const {
    py::list list;
    for (const Item& item : items) {
      if constexpr (std::is_same_v<Item, ineqbf::ConstraintResult> || std::is_same_v<Item, ineqbf::Warning>)
        list.append(dict_of(item, names));
      else
        list.append(of(item));
    }
    return list;
  }

  template <class Value>
  static py::dict dict_of(const Value& value, const std::vector<std::string>& names) {
    PythonFields f{names, {}};
    ineqbf::visit_fields(value, f);
    return f.out;
  }

 private:
  // A row: its coefficients, right-hand side and text over the names.
  void put(const py::str&, const ineqbf::Constraint& row) {
    out["coefficients"] = row.coefficients;
    out["rhs"] = row.rhs;
    out["text"] = text(ineqbf::constraint_text(row, names));
  }
  template <class T>
  void put(const py::str& key, const T& value) {
    out[key] = of(value);
  }
};

py::dict result(const ineqbf::Result& r, const std::vector<std::string>& names) {
  return PythonFields::dict_of(r, names);
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

[[noreturn]] void usage(const std::string& message) { raise_error(ineqbf::Error(ineqbf::Status::usage, message)); }

// The settings the package passes: the seed, "gibbs" or "integration", the
// precision aimed at by integration and the prior model probabilities.
ineqbf::Settings base_settings(int32_t seed, const std::string& method, double precision,
                               std::vector<double> prior) {
  ineqbf::Settings s;
  s.seed = seed;
  if (!ineqbf::method_named(method, s.method))
    usage("the method must be \"gibbs\" or \"integration\", not \"" + method + "\"");
  s.precision = precision;
  s.prior = std::move(prior);
  return s;
}

// Several hypotheses given as text over the problem's names, compared.
py::dict analyse_hypotheses(std::vector<double> means, std::vector<double> covariance,
                            std::vector<std::string> names, const std::vector<std::string>& aliases,
                            const std::vector<size_t>& alias_of, const std::string& hypotheses, int32_t seed,
                            const std::string& method, double precision, std::vector<double> prior,
                            py::object progress, py::object cancel) {
  const ineqbf::Problem p = make_problem(std::move(means), std::move(covariance), std::move(names));
  const std::vector<std::string> used = names_or_default(p.names, p.means.size());
  std::vector<ineqbf::Hypothesis> parsed;
  try {
    parsed = ineqbf::parse_hypotheses(hypotheses, used, aliases, alias_of);
  } catch (const ineqbf::Error& e) {
    raise_error(e);
  }
  Hooks hooks = make_hooks(std::move(progress), std::move(cancel));
  const ineqbf::Settings settings = hooks.settings(base_settings(seed, method, precision, std::move(prior)));
  const ineqbf::Comparison c = hooks.run([&] { return ineqbf::analyse(p, parsed, settings); });

  py::list hyps, results;
  for (size_t h = 0; h < c.hypotheses.size(); ++h) {
    hyps.append(text(c.hypotheses[h].text));
    results.append(result(c.results[h], used));
  }
  py::dict d = PythonFields::dict_of(c, used);
  d["names"] = used;
  d["hypotheses"] = std::move(hyps);
  d["results"] = std::move(results);
  return d;
}

// The program's run on a file: read the problem, analyse its own rows.
py::dict analyse_file(const std::string& path, int32_t seed, const std::string& method, double precision,
                      py::object progress, py::object cancel) {
  Hooks hooks = make_hooks(std::move(progress), std::move(cancel));
  const ineqbf::Settings settings = hooks.settings(base_settings(seed, method, precision, {}));
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
    raise_error(ineqbf::Error(ineqbf::Status::usage, "the row has " + std::to_string(coefficients.size()) +
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
      .def_readonly("hypothesis", &ineqbf::Progress::hypothesis, "The hypothesis analysed, 0-based.")
      .def_readonly("hypotheses", &ineqbf::Progress::hypotheses, "How many hypotheses the analysis has.")
      .def_readonly("constraint", &ineqbf::Progress::constraint, "The constraint row, 1-based.")
      .def_property_readonly(
          "sampler",
          [](const ineqbf::Progress& p) { return std::string(ineqbf::name_of(p.sampler)); },
          "'fit' or 'complexity'.")
      .def_readonly("iterations", &ineqbf::Progress::iterations, "Counted iterations of the current chain.")
      .def_readonly("sweeps_done", &ineqbf::Progress::sweeps_done, "Sweeps of the current chain done.")
      .def_readonly("sweeps_total", &ineqbf::Progress::sweeps_total,
                    "Sweeps of the current chain in all (100 burn-in sweeps plus the iterations).")
      .def("__repr__", [](const ineqbf::Progress& p) {
        return "Progress(hypothesis=" + std::to_string(p.hypothesis) +
               ", constraint=" + std::to_string(p.constraint) + ", sampler='" +
               std::string(ineqbf::name_of(p.sampler)) +
               "', iterations=" + std::to_string(p.iterations) + ", sweeps_done=" + std::to_string(p.sweeps_done) +
               ", sweeps_total=" + std::to_string(p.sweeps_total) + ")";
      });

  // The statuses, from the library's one list: OK, IO_ERROR, …, CANCELLED.
  py::list statuses;
  for (const ineqbf::StatusName& s : ineqbf::status_names) {
    std::string name(s.name);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    statuses.append(py::make_tuple(name, ineqbf::exit_code(s.status)));
  }
  py::object status = py::module_::import("enum").attr("IntEnum")("Status", statuses, py::arg("module") = "ineqbf");
  status.attr("__doc__") =
      "The exit statuses of the program and of the library: OK (0), IO_ERROR (1: input not readable, output "
      "not writable, memory exhausted), NUMERICAL_STOP (2: the numerical library stopped the run), SUBSCRIPT "
      "(3: an array subscript out of bounds), USAGE (4: a malformed problem, hypothesis or command line), "
      "CANCELLED (5: the caller cancelled the analysis).";
  m.attr("Status") = status;

  m.attr("DEFAULT_SEED") = ineqbf::default_seed;
  m.attr("MIN_SEED") = ineqbf::min_seed;
  m.attr("MAX_SEED") = ineqbf::max_seed;
  m.def("version", [] { return std::string(ineqbf::version()); });
  m.def("default_names", [](int32_t n) { return ineqbf::default_names(n); });
  m.def("analyse_hypotheses", &analyse_hypotheses, py::arg("means"), py::arg("covariance"), py::arg("names"),
        py::arg("aliases"), py::arg("alias_of"), py::arg("hypotheses"), py::arg("seed"), py::arg("method"),
        py::arg("precision"), py::arg("prior"), py::arg("progress"), py::arg("cancel"));
  m.def("analyse_file", &analyse_file, py::arg("path"), py::arg("seed"), py::arg("method"), py::arg("precision"),
        py::arg("progress"), py::arg("cancel"));
  m.def("read_problem", &read_problem, py::arg("path"));
  m.def("parse_hypotheses", &parse_hypotheses, py::arg("text"), py::arg("names"));
  m.def("constraint_text", &constraint_text, py::arg("coefficients"), py::arg("rhs"), py::arg("names"));
  m.def("run_command_line", &run_command_line, py::arg("args"));
}
