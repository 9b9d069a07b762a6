numbers <- function(r) r[c("hypotheses", "constraints", "rows", "comparison", "replicates", "report")]

test_that("a fitted model gives what its coef() and vcov() give by hand", {
  fit <- lm(mpg ~ wt + hp + factor(cyl), data = mtcars)
  h <- "wt < 0 & hp < 0; factor_cyl_8 < factor_cyl_6 < 0"
  by_model <- ineqbf(fit, h, progress = FALSE, method = "gibbs")
  by_hand <- ineqbf(coef(fit), h, Sigma = vcov(fit), progress = FALSE, method = "gibbs")
  expect_identical(numbers(by_model), numbers(by_hand))
  g <- glm(am ~ wt, data = mtcars, family = binomial)
  expect_identical(numbers(ineqbf(g, "wt < 0", progress = FALSE, method = "gibbs")),
                   numbers(ineqbf(coef(g), "wt < 0", vcov(g), progress = FALSE, method = "gibbs")))
})

test_that("names are mapped, and the original ones may be written between backquotes", {
  expect_identical(
    ineqbf_names(c("(Intercept)", "factor(g)b", "x:z", "2x", ".5a", "wt", "x_z", "", "θ1")),
    c("Intercept", "factor_g_b", "x_z_2", "X2x", "X.5a", "wt", "x_z", "theta8", "θ1"))
  fit <- lm(mpg ~ wt + factor(cyl), data = mtcars)
  same <- list(c("Intercept > 30", "`(Intercept)` > 30"),
               c("factor_cyl_8 < factor_cyl_6", "`factor(cyl)8` < `factor(cyl)6`"),
               c("2*Intercept > 60 + wt", "Intercept + `(Intercept)` - wt > 60"))
  for (pair in same) {
    a <- ineqbf(fit, pair[1], progress = FALSE, method = "gibbs")
    b <- ineqbf(fit, pair[2], progress = FALSE, method = "gibbs")
    expect_identical(numbers(a)[-1], numbers(b)[-1], label = pair[2])
  }
  expect_identical(colnames(a$rows$H1), c("Intercept", "wt", "factor_cyl_6", "factor_cyl_8", "rhs"))
})

test_that("several hypotheses: each its own run, compared replicate by replicate", {
  p <- two_parameters
  r <- ineqbf(p$estimates, "a > b > 0; a > 0; b > 0.1", p$Sigma, progress = FALSE, method = "gibbs")
  one <- ineqbf(p$estimates, "a > 0", p$Sigma, progress = FALSE, method = "gibbs")
  expect_identical(r$report[2], one$report)
  expect_length(r$report, 3)
  bf <- r$comparison$bf
  expect_equal(unname(diag(bf[, , "value"])), c(1, 1, 1))
  expect_equal(bf["H1", "H2", "value"], r$hypotheses$BFia[1] / r$hypotheses$BFia[2], tolerance = 1e-6)
  expect_equal(sum(r$comparison$pmp$value), 1, tolerance = 1e-6)
  expect_equal(sum(r$comparison$pmp_u$value), 1, tolerance = 1e-6)
  expect_equal(unname(coef(r)[, "BFia"]), r$hypotheses$BFia)
  expect_identical(as.data.frame(r)[rownames(r$hypotheses), names(r$hypotheses)], r$hypotheses)
  expect_output(print(r), "Posterior model probabilities")
  expect_output(print(summary(r)), "H3: b > 0.1")
  expect_false(identical(ineqbf(p$estimates, "a > 0", p$Sigma, seed = 777, progress = FALSE, method = "gibbs")$report,
                         one$report))
})

test_that("errors are ineqbf_error conditions with the status and the message", {
  p <- two_parameters
  cases <- list(
    list(quote(ineqbf(p$estimates, "a > c", p$Sigma, method = "gibbs")), 4L,
         "unknown parameter \"c\" at column 5; parameters are a, b"),
    list(quote(ineqbf(p$estimates, "a = b", p$Sigma, method = "gibbs")), 4L, NULL),
    list(quote(ineqbf(p$estimates, "a > b", diag(3), method = "gibbs")), 4L,
         "the covariance matrix is 3 x 3; 2 estimates need 2 x 2"),
    list(quote(ineqbf(p$estimates, "a > b", method = "gibbs")), 4L,
         "Sigma, the covariance matrix of the estimates, is missing"),
    list(quote(ineqbf(p$estimates, "a > b", p$Sigma, seed = 0, method = "gibbs")), 4L,
         "the seed must be between 1 and 2147483646, not 0"),
    list(quote(ineqbf(p$estimates, "a > b", p$Sigma, seed = c(1, 2), method = "gibbs")), 4L,
         "the seed must be one whole number between 1 and 2147483646, not c(1, 2)"),
    list(quote(ineqbf(p$estimates, "a > b", p$Sigma, seed = 1.5, method = "gibbs")), 4L,
         "the seed must be one whole number between 1 and 2147483646, not 1.5"),
    list(quote(ineqbf(lm(mpg ~ wt + hp, mtcars), "c > 0", method = "gibbs")), 4L,
         "unknown parameter \"c\" at column 1; parameters are Intercept, wt, hp"),
    list(quote(ineqbf(p$estimates, "a > b", p$Sigma, method = "exact")), 4L,
         "the method must be \"gibbs\" or \"integration\", not exact"),
    list(quote(ineqbf(p$estimates, "a > b", p$Sigma, precision = -1)), 4L,
         "the precision must be one positive number, not -1"),
    list(quote(ineqbf(p$estimates, "a > b; b > 0", p$Sigma, prior = c(1, -1), method = "gibbs")), 4L,
         "the prior model probabilities must be positive finite numbers"),
    list(quote(ineqbf(p$estimates, "a > b; b > 0", p$Sigma, prior = c(1, 1, 1, 1), method = "gibbs")), 4L,
         NULL),
    list(quote(ineqbf(p$estimates, cbind(1, 2), p$Sigma, method = "gibbs")), 4L,
         "constraint rows need 3 columns (2 coefficients, then the right-hand side), not 2"),
    list(quote(ineqbf(p$estimates, "a > b", matrix(c(1, 1, 1, 1), 2), method = "gibbs")), 2L,
         paste0(" *** FATAL ERROR 2 from LINRG.  The input matrix is singular.  Some of\n",
                " ***          the diagonal elements of the upper triangular matrix U\n",
                " ***          of the LU factorization are close to zero.")),
    list(quote(ineqbf_file(tempfile())), 1L, NULL),
    list(quote(ineqbf("a", "a > 0", method = "gibbs")), 4L, NULL))
  for (case in cases) {
    e <- tryCatch(eval(case[[1]]), error = identity)
    label <- deparse(case[[1]])
    expect_s3_class(e, c("ineqbf_error", "error", "condition"), exact = TRUE)
    expect_identical(e$status, case[[2]], label = label)
    if (!is.null(case[[3]])) expect_identical(conditionMessage(e), case[[3]], label = label)
  }
})

test_that("progress goes up to 1", {
  seen <- numeric(0)
  p <- two_parameters
  ineqbf(p$estimates, "a > b > 0; b > 0", p$Sigma, progress = function(v) seen <<- c(seen, v), method = "gibbs")
  expect_true(length(seen) >= 6)
  expect_false(is.unsorted(seen, strictly = TRUE))
  expect_identical(tail(seen, 1), 1)
})

test_that("an interrupt stops a long analysis and reaches R as an interrupt", {
  skip_if_not_installed("callr")
  # A fit of about 3e-5 climbs the whole iteration ladder: minutes of work.
  child <- callr::r_bg(function() {
    started <- FALSE
    tryCatch(ineqbf::ineqbf(stats::setNames(rep(0, 20), paste0("p", 1:20)), "p1 > 4", diag(20),
                            progress = function(v) if (!started) { started <<- TRUE; cat("started\n") }, method = "gibbs"),
             interrupt = function(e) "interrupted")
  }, libpath = .libPaths(), stdout = "|")
  on.exit(child$kill())
  while (child$is_alive() && !any(grepl("started", child$read_output_lines()))) Sys.sleep(0.1)
  child$interrupt()
  child$wait(120000)
  expect_identical(child$get_result(), "interrupted")
})
