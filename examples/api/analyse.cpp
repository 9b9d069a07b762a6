// An example of the ineqbf library in a program of one's own.
//
//   ineqbf_example [PATH [HYPOTHESES]]
//
// Reads the problem in PATH (an Input.txt-format file, or a folder holding
// one; default: the current folder). Without HYPOTHESES it analyses the
// problem's own constraint rows and prints the report the ineqbf program
// would write to Output.txt. With HYPOTHESES, e.g. "theta1 > theta2 > theta3;
// theta1 > theta3", it analyses each hypothesis over the problem's estimates
// and prints a table of Bayes factors and posterior model probabilities.
#include <ineqbf/ineqbf.h>

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : ".";
  try {
    ineqbf::Problem problem = ineqbf::read_problem(path);
    if (argc <= 2) {
      const ineqbf::Result result = ineqbf::analyse(problem);
      std::cout << result.report;
      return 0;
    }
    const ineqbf::Comparison c = ineqbf::analyse(problem, std::string(argv[2]));
    std::printf("%-40s %10s %10s %10s %10s\n", "hypothesis", "BFia", "MC error", "PMP", "PMPu");
    for (size_t h = 0; h < c.hypotheses.size(); ++h) {
      const ineqbf::Estimate& bf = c.results[h].bf_ia;
      std::printf("%-40s %10.4g %10.3g %10.4f %10.4f\n", c.hypotheses[h].text.c_str(),
                  static_cast<double>(bf.value), static_cast<double>(bf.mc_error),
                  static_cast<double>(c.posterior[h].value),
                  static_cast<double>(c.posterior_with_unconstrained[h].value));
    }
    std::printf("%-40s %10s %10s %10s %10.4f\n", "unconstrained", "1", "", "",
                static_cast<double>(c.posterior_with_unconstrained.back().value));
    return 0;
  } catch (const ineqbf::Error& e) {
    std::cerr << e.message() << "\n";
    return ineqbf::exit_code(e.status());
  }
}
