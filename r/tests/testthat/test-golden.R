test_that("every golden case gives the program's report, or its error, and the report's numbers", {
  for (dir in golden_cases()) {
    status <- if (file.exists(file.path(dir, "status"))) as.integer(readLines(file.path(dir, "status"))) else 0L
    console <- read_bytes(file.path(dir, "console.txt"))
    r <- tryCatch(ineqbf_file(dir, progress = FALSE), ineqbf_error = identity)
    if (inherits(r, "ineqbf_error")) {
      expect_identical(r$status, status, label = dir)
      expect_identical(r$console, console, label = dir)
      # The message is the console's last lines.
      message <- gsub("\n", "\r\n", conditionMessage(r), fixed = TRUE)
      expect_true(endsWith(console, paste0(message, "\r\n")), label = dir)
      next
    }
    expect_identical(status, 0L, label = dir)
    expect_identical(r$report, read_bytes(file.path(dir, "Output.txt")), label = dir)
    expect_identical(r$console, console, label = dir)

    shown <- report_numbers(r$report)
    k <- r$constraints
    h <- r$hypotheses
    expect_equal(shown$fits[, 2], k$fit_iterations, label = dir)
    expect_equal(shown$complexities[, 2], k$complexity_iterations, label = dir)
    expect_reported(c(k$fit, k$complexity, h$total_fit, h$total_complexity),
                    c(shown$fits[, 1], shown$complexities[, 1], shown$totals), dir)
    expect_reported(unlist(h[c("BFia", "BFia_error", "BFia_lower", "BFia_upper")]), shown$bf_ia, dir)
    expect_identical(h$BFic_infinite, is.na(shown$bf_ic[1]), label = dir)
    if (!h$BFic_infinite)
      expect_reported(unlist(h[c("BFic", "BFic_error", "BFic_lower", "BFic_upper")]), shown$bf_ic, dir)
  }
})

test_that("the examples' rows, as a hypothesis string or by hand, give the program's report", {
  root <- source_dir()
  if (is.null(root)) skip("no ineqbf checkout")
  cases <- list(
    list("examples/two-parameters", "theta1 > theta2 > 0"),
    list("examples/order4", "theta1 > theta2 > theta3 > theta4"),
    list("examples/small-fit", NULL))
  for (case in cases) {
    dir <- file.path(root, case[[1]])
    f <- ineqbf_file(dir, progress = FALSE)
    expected <- read_bytes(file.path(dir, "Output.txt"))
    by_hand <- ineqbf(f$estimates, f$rows[[1]], f$Sigma, progress = FALSE, method = "gibbs")
    expect_identical(by_hand$report, expected)
    expect_identical(by_hand$hypotheses, f$hypotheses)
    if (!is.null(case[[2]])) {
      text <- ineqbf(f$estimates, case[[2]], f$Sigma, progress = FALSE, method = "gibbs")
      expect_identical(text$report, expected)
      expect_identical(text[c("constraints", "rows", "replicates")], by_hand[c("constraints", "rows", "replicates")])
    }
  }
})
