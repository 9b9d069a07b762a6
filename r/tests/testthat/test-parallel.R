test_that("problems analysed in parallel with future.apply equal the sequential results", {
  skip_if_not_installed("future.apply")
  p <- two_parameters
  problems <- list("a > b > 0", "a > 0; b > 0", "a - 2*b > 0.1", "-1 < a < 1 & b > -1")
  run <- function(h) ineqbf::ineqbf(p$estimates, h, p$Sigma, progress = FALSE, method = "gibbs")
  sequential <- suppressWarnings(lapply(problems, run), classes = "ineqbf_warning")
  old <- future::plan(future::multisession, workers = 2)
  on.exit(future::plan(old))
  # (future warns when a worker's function touches R's random numbers; the
  # engine has its own. The engine's own warnings, about the bounded range,
  # are relayed from the workers.)
  expect_no_warning(suppressWarnings(parallel <- future.apply::future_lapply(problems, run),
                                     classes = "ineqbf_warning"))
  expect_identical(parallel, sequential)
})
