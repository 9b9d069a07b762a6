# Seconds per analysis through the R package, on the repository's examples
# and benchmark inputs (each report checked against its Output.txt). Run
# from the repository root with the package installed:
#   Rscript r/bench.R
library(ineqbf)
cases <- c("examples/two-parameters", "examples/order4", "bench/inputs/order10", "bench/inputs/deep")
for (dir in cases) {
  n <- if (endsWith(dir, "deep")) 1L else 5L
  seconds <- system.time(for (i in seq_len(n)) r <- ineqbf_file(dir, progress = FALSE))[["elapsed"]] / n
  expected <- readChar(file.path(dir, "Output.txt"), file.size(file.path(dir, "Output.txt")), useBytes = TRUE)
  cat(sprintf("%-26s %8.3f s  report %s\n", dir, seconds,
              if (identical(r$report, expected)) "identical" else "DIFFERS"))
}
fit <- lm(mpg ~ wt + hp + qsec, data = mtcars)
seconds <- system.time(for (i in 1:20) ineqbf(fit, "wt < 0 & hp < 0; wt < hp", progress = FALSE))[["elapsed"]] / 20
cat(sprintf("%-26s %8.3f s\n", "lm fit, two hypotheses", seconds))
