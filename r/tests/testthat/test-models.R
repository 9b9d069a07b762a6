# Fitted models straight in: each gives what its estimates and covariance
# matrix give by hand. One row per class: the package it needs, the fit,
# the hypothesis, and the estimates and covariance by hand.
political <- " ind60 =~ x1 + x2 + x3
               dem60 =~ y1 + y2 + y3 + y4
               dem65 =~ y5 + y6 + y7 + y8
               dem60 ~ ind60
               dem65 ~ ind60 + dem60 "
holzinger <- " visual =~ x1 + x2 + x3
               textual =~ x4 + x5 + x6 "
meta_studies <- data.frame(yi = c(-0.89, -1.59, -1.35, -1.44, -0.22, -0.79, -1.62, 0.01, -0.47, -1.37),
                           vi = c(0.33, 0.19, 0.42, 0.02, 0.05, 0.01, 0.22, 0.01, 0.06, 0.3),
                           x = c(44, 55, 42, 52, 13, 44, 19, 13, 27, 42))
lung_surv <- function() survival::Surv(survival::lung$time, survival::lung$status)

model_cases <- list(
  list("lm", "stats", quote(lm(mpg ~ wt + hp, data = mtcars)), "wt < 0 & hp < 0",
       function(f) list(coef(f), vcov(f))),
  list("aov", "stats", quote(aov(yield ~ block + N, data = npk)), "N1 > 0",
       function(f) list(coef(f), vcov(f))),
  list("glm", "stats", quote(glm(am ~ wt, data = mtcars, family = binomial)), "wt < 0",
       function(f) list(coef(f), vcov(f))),
  list("nls", "stats", quote(nls(density ~ SSlogis(log(conc), Asym, xmid, scal),
                                 data = DNase[DNase$Run == 1, ])), "Asym > 2 & scal > 0",
       function(f) list(coef(f), vcov(f))),
  list("lmer", "lme4", quote(lme4::lmer(Reaction ~ Days + (Days | Subject), data = lme4::sleepstudy)),
       "Days > 5", function(f) list(lme4::fixef(f), as.matrix(vcov(f)))),
  list("glmer", "lme4", quote(lme4::glmer(cbind(incidence, size - incidence) ~ period + (1 | herd),
                                          data = lme4::cbpp, family = binomial)),
       "period2 < 0 & period4 < period2", function(f) list(lme4::fixef(f), as.matrix(vcov(f)))),
  list("lme", "nlme", quote(nlme::lme(distance ~ age, data = nlme::Orthodont, random = ~ 1 | Subject)),
       "age > 0.5", function(f) list(nlme::fixef(f), vcov(f))),
  list("glmmTMB", "glmmTMB", quote(glmmTMB::glmmTMB(count ~ mined + (1 | site), family = poisson,
                                                    data = glmmTMB::Salamanders)),
       "minedno > 1", function(f) list(glmmTMB::fixef(f)$cond, vcov(f)$cond)),
  list("sem", "lavaan", quote(lavaan::sem(political, data = lavaan::PoliticalDemocracy)),
       "dem65_dem60 > 0 & ind60__x2 > 2", function(f) list(lavaan::coef(f), lavaan::vcov(f))),
  list("cfa, two groups, equal loadings", "lavaan",
       quote(lavaan::cfa(holzinger, data = lavaan::HolzingerSwineford1939, group = "school",
                         group.equal = "loadings")),
       ".p2. > 0.5 & .p3. > .p2.", function(f) {
         keep <- !duplicated(names(lavaan::coef(f)))
         list(lavaan::coef(f)[keep], lavaan::vcov(f)[keep, keep])
       }),
  list("survreg", "survival", quote(survival::survreg(lung_surv() ~ age + sex, data = survival::lung)),
       "age < 0 & sex > 0", function(f) list(coef(f), vcov(f)[1:3, 1:3])),
  list("coxph", "survival", quote(survival::coxph(lung_surv() ~ age + sex, data = survival::lung)),
       "age > 0 & sex < 0", function(f) list(coef(f), vcov(f))),
  list("polr", "MASS", quote(MASS::polr(Sat ~ Infl + Type, weights = Freq, data = MASS::housing, Hess = TRUE)),
       "InflHigh > InflMedium > 0", function(f) {
         b <- names(coef(f))
         list(coef(f), vcov(f)[b, b])
       }),
  list("rma", "metafor", quote(metafor::rma(yi, vi, mods = ~ x, data = meta_studies)),
       "x < 0", function(f) list(coef(f), vcov(f))),
  list("emmGrid", "emmeans", quote(emmeans::emmeans(lm(mpg ~ factor(cyl), data = mtcars), ~ cyl)),
       "cyl4 > cyl6 > cyl8", function(f) {
         s <- summary(f)
         list(stats::setNames(s$emmean, paste0("cyl", s$cyl)), unname(vcov(f)))
       }))

for (case in model_cases) {
  test_that(paste("a fitted model straight in:", case[[1]]), {
    skip_if_not_installed(case[[2]])
    fit <- eval(case[[3]])
    by_model <- gibbs(fit, case[[4]])
    parts <- case[[5]](fit)
    by_hand <- gibbs(stats::setNames(as.vector(parts[[1]]), names(parts[[1]])), case[[4]],
                     Sigma = as.matrix(parts[[2]]))
    expect_identical(by_model$hypotheses, by_hand$hypotheses)
    expect_identical(by_model$names, ineqbf_names(names(parts[[1]])))
    expect_true(is.finite(by_model$hypotheses$BFia))
  })
}

test_that("models that cannot be used say what to pass instead", {
  aliased <- transform(mtcars, wt2 = 2 * wt)
  cases <- list(
    list(quote(t.test(extra ~ group, data = sleep)), "pass the estimate and its variance instead"),
    list(quote(lm(mpg ~ wt + wt2 + hp, data = aliased)),
         "the model could not estimate wt2: coef() gives NA, the term is aliased"),
    list(quote(mtcars), "pass the estimates and their covariance matrix instead"))
  for (case in cases) {
    e <- tryCatch(gibbs(eval(case[[1]]), "x > 0"), ineqbf_error = identity)
    expect_s3_class(e, "ineqbf_error")
    expect_identical(e$status, 4L)
    expect_true(grepl(case[[2]], conditionMessage(e), fixed = TRUE), label = conditionMessage(e))
  }
})

test_that("lavaan's parameter names are mapped to names a hypothesis can use, each once", {
  skip_if_not_installed("lavaan")
  fit <- lavaan::cfa(holzinger, data = lavaan::HolzingerSwineford1939, group = "school",
                     group.equal = "loadings")
  r <- gibbs(fit, ".p2. > 0")
  expect_false(anyDuplicated(r$names) > 0)
  expect_true(all(c(".p2.", "x1__x1", "x1__x1.g2") %in% r$names))
})

test_that("by integration too, a model gives what its estimates give by hand", {
  fit <- lm(mpg ~ wt + hp, data = mtcars)
  by_model <- integrated(fit, "wt < 0 & hp < 0")
  expect_identical(by_model$hypotheses, integrated(coef(fit), "wt < 0 & hp < 0", Sigma = vcov(fit))$hypotheses)
})
