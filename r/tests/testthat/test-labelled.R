labelled <- function(m, rows = colnames(m), cols = colnames(m)) {
  dimnames(m) <- list(rows, cols)
  m
}

test_that("labelled estimates and covariance matrices are matched by name, or refused", {
  S <- labelled(diag(c(0.01, 100)), c("a", "b"), c("a", "b"))
  x <- c(a = 0.1, b = 0)
  reference <- gibbs(x, "a > 0", Sigma = unname(S))
  S3 <- labelled(diag(3), c("c", "a", "x"), c("c", "a", "x"))
  # label, estimates, covariance, NULL (same numbers as the reference) or the message
  cases <- list(
    list("labels in order", x, S, NULL),
    list("labels reversed", x, S[2:1, 2:1], NULL),
    list("row names only, reversed", x, `colnames<-`(S[2:1, 2:1], NULL), NULL),
    list("no names on the estimates", unname(x), S, NULL),
    list("no names on the matrix", x, unname(S), NULL),
    list("partly matching labels", c(a = 1, b = 2, c = 3), S3,
         "the names of Sigma do not match those of the estimates: Sigma has no row for \"b\"; Sigma's \"x\" is no estimate"),
    list("labels in another case", x, labelled(unname(S), c("A", "B"), c("A", "B")),
         "the names of Sigma do not match those of the estimates: Sigma has no row for \"a\", \"b\"; Sigma's \"A\", \"B\" are no estimate"),
    list("numbers as labels", x, labelled(unname(S), c("1", "2"), c("1", "2")),
         "the names of Sigma do not match those of the estimates: Sigma has no row for \"a\", \"b\"; Sigma's \"1\", \"2\" are no estimate"),
    list("a label more than the estimates", x, labelled(diag(3), c("a", "b", "c"), c("a", "b", "c")),
         paste("the names of Sigma do not match those of the estimates: Sigma's \"c\" is no estimate",
               "(Sigma[names(x), names(x)] is the block of the estimates)")),
    list("rows and columns labelled apart", x, labelled(unname(S), c("b", "a"), c("a", "b")),
         "the row names of Sigma differ from its column names"),
    list("an estimate named twice", c(a = 0.1, a = 0), S, "the parameter name \"a\" is given twice"))
  for (case in cases) {
    r <- tryCatch(gibbs(case[[2]], "a > 0", Sigma = case[[3]]), ineqbf_error = identity)
    if (is.null(case[[4]])) {
      expect_identical(r$hypotheses, reference$hypotheses, label = case[[1]])
      expect_identical(unname(r$Sigma), unname(S), label = case[[1]])
    } else {
      expect_s3_class(r, "ineqbf_error")
      expect_identical(r$status, 4L, label = case[[1]])
      expect_identical(conditionMessage(r), case[[4]], label = case[[1]])
    }
  }
  # the fit of a > 0 is that of a's own variance (0.01), not b's
  expect_equal(reference$constraints$fit, 0.841, tolerance = 0.03)
})

test_that("a model's covariance given reordered by name, or with extra parameters, is matched", {
  fit <- lm(mpg ~ wt + hp, data = mtcars)
  reference <- gibbs(fit, "wt < 0 & hp < 0")
  reversed <- vcov(fit)[3:1, 3:1]
  expect_identical(gibbs(fit, "wt < 0 & hp < 0", Sigma = reversed)$hypotheses, reference$hypotheses)
  expect_identical(gibbs(coef(fit), "wt < 0 & hp < 0", Sigma = reversed)$hypotheses, reference$hypotheses)
  skip_if_not_installed("survival")
  s <- survival::survreg(survival::Surv(time, status) ~ age + sex, data = survival::lung)
  expect_identical(gibbs(s, "age < 0", Sigma = vcov(s))$hypotheses, gibbs(s, "age < 0")$hypotheses)
})

test_that("the library's warnings reach R as ineqbf_warning conditions", {
  asymmetric <- matrix(c(0.04, 0.02, 0.01, 0.09), 2)
  seen <- warnings_of(r <- gibbs(c(a = 0.5, b = 0.2), "a > b", Sigma = asymmetric))
  if (!length(seen)) skip("this build of the library does not check the covariance's symmetry")
  messages <- vapply(seen, conditionMessage, "")
  expect_true(all(vapply(seen, inherits, TRUE, "ineqbf_warning")))
  expect_identical(sum(grepl("not symmetric", messages)), 1L)
  expect_match(messages, "element \\(1, 2\\) is 0.01 but \\(2, 1\\) is 0.02", all = FALSE)
  expect_identical(r$warnings$message, sub("^H[0-9, H]+: ", "", messages))
  # said once for two hypotheses with the same covariance
  seen <- warnings_of(gibbs(c(a = 0.5, b = 0.2), "a > b; a > 0", Sigma = asymmetric))
  expect_identical(sum(grepl("not symmetric", vapply(seen, conditionMessage, ""))), 1L)
})
