two <- list(estimates = c(a = 0.5, b = 0.2), Sigma = matrix(c(0.04, 0.01, 0.01, 0.09), 2))
compared <- function(...) gibbs(two$estimates, "a > b > 0; a > 0", two$Sigma, ...)

test_that("a value and its interval are written in one notation", {
  with_interval <- ineqbf:::with_interval
  # value, error, lower, upper, digits, text
  cases <- list(
    list(3.88, 0.14, 3.622, 4.156, 4, "3.880 (0.14) [3.622, 4.156]"),
    list(3.88, 0.14, 3.622, 4.156, 2, "3.9 (0.14) [3.6, 4.2]"),
    list(3.2e-7, 1.7e-7, 1.1e-7, 6e-7, 4, "3.200e-07 (1.7e-07) [1.100e-07, 6.000e-07]"),
    list(0.5, 0.2, 2e-4, 0.9, 2, "5.0e-01 (0.2) [2.0e-04, 9.0e-01]"),
    list(2.5e6, 1e5, 2.3e6, 2.7e6, 3, "2.50e+06 (1.0e+05) [2.30e+06, 2.70e+06]"),
    list(0, 0, 0, 0, 4, "0.000 (0) [0.000, 0.000]"),
    list(Inf, NaN, 10, Inf, 4, "Inf (NaN) [10.00, Inf]"))
  for (case in cases)
    expect_identical(with_interval(case[[1]], case[[2]], case[[3]], case[[4]], case[[5]]), case[[6]])
  expect_identical(ineqbf:::probability_text(c(0.5614, 3e-5, 0, 1)), c("0.561", "3.0e-05", "0.000", "1.000"))
})

test_that("print takes digits, shows log10 Bayes factors and notes on Inf and NaN", {
  r <- compared()
  expect_output(print(r, digits = 3), sprintf("%.3g \\(", r$hypotheses$BFia[1]))
  expect_output(print(r), "Bayes factors between hypotheses \\(row against column\\)")
  expect_output(print(r, log10 = TRUE), sprintf("%.3f \\(", log10(r$hypotheses$BFia[1])))
  expect_equal(coef(r, log10 = TRUE), log10(coef(r)))
  r$hypotheses$BFia[1] <- NaN
  r$comparison$bf[1, 2, "value"] <- NaN
  expect_output(print(r), "Note: H1: BFia is NaN")
  expect_output(print(r), "Note: Bayes factors of H1 are not finite")
  r$hypotheses$BFia[1] <- 0
  r$comparison$bf[2, 1, "value"] <- Inf
  expect_output(print(r), "Note: Bayes factors against H1 are Inf")
})

test_that("summary shows each hypothesis as written beside its rows", {
  # (no two rows bound a direction on both sides: no warning of a bounded region)
  r <- gibbs(two$estimates, "b < 2 & a > b", two$Sigma)
  out <- capture.output(print(summary(r)))
  expect_identical(out[1], "H1: b < 2 & a > b")
  expect_match(out[3], "^  1 b < 2 +-b > -2 ")
  expect_match(out[4], "^  2 a > b +a - b > 0 ")
  # the pieces of a hypothesis as written, one per row
  pieces <- ineqbf:::written_pieces
  expect_identical(pieces("a > b > c & d < 1", 3L), c("a > b > c", "a > b > c", "d < 1"))
  expect_identical(pieces("`a&b` > 0 & `x<y` < 1", 2L), c("`a&b` > 0", "`x<y` < 1"))
  expect_null(pieces("a > b", 2L))
  # integration's fits and complexities come with their MC errors
  s <- summary(r)
  s$method <- "integration"
  s$constraints$fit_error <- c(1.5e-5, 0.002)
  expect_match(capture.output(print(s))[3], "[01]\\.[0-9]{3} \\(1\\.5e-05\\)")
})

test_that("as.data.frame of a comparison carries the PMPs with their errors and intervals", {
  r <- compared()
  d <- as.data.frame(r)
  expect_identical(rownames(d), c("H1", "H2", "Hu"))
  pmp <- r$comparison$pmp
  expect_identical(d[1:2, c("PMP", "PMP_error", "PMP_lower", "PMP_upper")],
                   setNames(pmp, c("PMP", "PMP_error", "PMP_lower", "PMP_upper")))
  expect_identical(d$PMPu, r$comparison$pmp_u$value)
  expect_true(is.na(d["Hu", "PMP"]) && is.na(d["Hu", "BFia"]))
  expect_equal(as.data.frame(r, log10 = TRUE)$BFia[1:2], log10(r$hypotheses$BFia))
  expect_identical(as.data.frame(ineqbf_file(input_folder(), progress = FALSE))$text,
                   "theta1 - theta2 > 0 & theta2 > 0")
})

test_that("prior model probabilities weigh the posterior model probabilities", {
  equal <- compared()
  bf <- equal$hypotheses$BFia
  # prior, PMPs over the hypotheses, PMPs with Hu
  cases <- list(
    list(NULL, bf / sum(bf), c(bf, 1) / sum(bf, 1)),
    list(c(3, 1), bf * c(3, 1) / sum(bf * c(3, 1)), c(bf * c(3, 1), 2) / sum(bf * c(3, 1), 2)),
    list(c(1, 1, 2), bf / sum(bf), c(bf, 2) / sum(bf, 2)))
  for (case in cases) {
    r <- compared(prior = case[[1]])
    expect_equal(r$comparison$pmp$value, case[[2]], tolerance = 1e-5)
    expect_equal(r$comparison$pmp_u$value, case[[3]], tolerance = 1e-5)
    expect_identical(r$hypotheses, equal$hypotheses)
  }
  expect_output(print(compared(prior = c(3, 1))), "prior H1 0.5, H2 0.167, Hu 0.333")
})

test_that("the method is named in the result; integration reaches the library", {
  r <- compared()
  expect_identical(r$method, "gibbs")
  expect_identical(ineqbf_file(input_folder(), progress = FALSE)$method, "gibbs")
  e <- tryCatch(ineqbf(two$estimates, "a > b", two$Sigma, progress = FALSE), error = identity)
  if (inherits(e, "error"))
    expect_identical(conditionMessage(e), "the integration method is not available in this build")
  else expect_identical(e$method, "integration")
})

test_that("integration gives the exact Bayes factors within its error", {
  mtcars_fit <- lm(mpg ~ wt + hp + qsec, data = mtcars)
  # estimates, covariance, hypothesis, exact BFia: fit / complexity
  cases <- list(
    list(c(a = 0.5), matrix(1), "a > 0", pnorm(0.5) / 0.5),
    list(c(a = 0, b = 0), diag(2), "a > 0 & b > 0", 1),
    list(c(a = 1, b = 1, c = 1), diag(3), "a > b > c", 1),
    list(mtcars_fit, NULL, "hp < 0", 1.76581),
    list(mtcars_fit, NULL, "wt < 0 & hp < 0", 3.53163),
    list(mtcars_fit, NULL, "hp < 0 & wt < 0", 3.53163))
  for (case in cases) {
    r <- integrated(case[[1]], case[[3]], Sigma = case[[2]])
    h <- r$hypotheses
    expect_identical(r$method, "integration")
    expect_lt(abs(h$BFia - case[[4]]), max(4 * h$BFia_error, 5e-3 * case[[4]]))
  }
})

test_that("plots are drawn: one hypothesis and a comparison", {
  r <- compared()
  file <- tempfile(fileext = ".png")
  grDevices::png(file, width = 800, height = 400)
  plot(r)
  plot(r, hypothesis = "H1")
  plot(r, hypothesis = 2)
  # a result without replicates (the estimate and its interval alone)
  one <- gibbs(two$estimates, "a > b", two$Sigma)
  one$replicates$BFia <- one$replicates$BFia[0, , drop = FALSE]
  plot(one)
  grDevices::dev.off()
  expect_gt(file.size(file), 1000)
  expect_error(plot(r, hypothesis = "H3"), "hypothesis must be one of H1, H2")
  unlink(file)
})

test_that("the tables carry every field of the library's results, under R's names", {
  r <- compared()
  expect_identical(names(r$hypotheses), c(
    "text", "total_fit", "total_complexity", "BFia", "BFia_error", "BFia_lower", "BFia_upper",
    "BFic", "BFic_error", "BFic_lower", "BFic_upper", "BFic_infinite"))
  expect_identical(names(r$constraints), c(
    "hypothesis", "constraint", "text", "fit", "complexity", "fit_error", "complexity_error",
    "fit_hits", "complexity_hits", "fit_iterations", "complexity_iterations", "fit_points",
    "complexity_points"))
  expect_equal(r$constraints$fit_hits, round(r$constraints$fit * r$constraints$fit_iterations))
  expect_identical(names(r$warnings)[-1], c("message", "quantity", "constraint", "value", "integrated"))
  expect_identical(dimnames(r$comparison$bf)[[3]], c("value", "error", "lower", "upper"))
})
