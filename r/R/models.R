# ---- estimates and their covariance matrix from what the caller passes -------------
#
# A fitted model gives its estimates and covariance matrix through
# model_parts(), an internal generic with one small method per class: a new
# class of model needs one method. Every method returns
# list(estimates = named numeric vector, Sigma = matrix); the covariance may
# hold more parameters than the estimates (the scale of a survreg fit, the
# thresholds of polr): it is matched to the estimates by name.

model_parts <- function(x) UseMethod("model_parts")

# A refusal of the model or of the values given, signalled as the usage
# error of the analysis (the caller's call is filled in by estimates_of).
refuse <- function(message) usage_error(message, NULL)

vcov_of <- function(x) {
  tryCatch(as.matrix(stats::vcov(x)),
           error = function(e) refuse(paste("vcov() of x failed:", conditionMessage(e))))
}

model_parts.default <- function(x) {
  estimates <- tryCatch(stats::coef(x), error = function(e) NULL)
  if (!is.numeric(estimates) || !is.null(dim(estimates)) || is.null(names(estimates)))
    refuse(sprintf(paste0(
      "x (class \"%s\") gives no named vector of estimates through coef(); pass the estimates ",
      "and their covariance matrix instead: ineqbf(estimates, hypothesis, Sigma = covariance)"),
      class(x)[1]))
  list(estimates = estimates, Sigma = vcov_of(x))
}

# lme4 (lmer, glmer) and nlme (lme): the fixed effects; coef() of these
# models gives values per group.
model_parts.merMod <- function(x) {
  list(estimates = lme4::fixef(x), Sigma = vcov_of(x))
}

model_parts.lme <- function(x) {
  list(estimates = nlme::fixef(x), Sigma = vcov_of(x))
}

# glmmTMB: the fixed effects of the conditional model.
model_parts.glmmTMB <- function(x) {
  list(estimates = glmmTMB::fixef(x)$cond, Sigma = as.matrix(stats::vcov(x)$cond))
}

# lavaan (sem, cfa, ...): the free parameters under lavaan's names
# ("dem65~dem60", "visual=~x2", a label such as ".p2."). A parameter held
# equal across groups appears once per group under one label with one
# value; it is one parameter, kept once.
model_parts.lavaan <- function(x) {
  estimates <- lavaan::coef(x)
  Sigma <- as.matrix(lavaan::vcov(x))
  estimates <- stats::setNames(as.vector(estimates), names(estimates))
  keep <- !duplicated(names(estimates))
  dimnames(Sigma) <- list(names(estimates), names(estimates))
  list(estimates = estimates[keep], Sigma = Sigma[keep, keep, drop = FALSE])
}

# emmeans grids: the estimated marginal means, named by their factor
# levels ("cyl4", "cyl6:am1"), with their covariance matrix.
model_parts.emmGrid <- function(x) {
  grid <- x@grid
  vars <- names(x@levels)
  labels <- do.call(paste, c(lapply(vars, function(v) paste0(v, grid[[v]])), sep = ":"))
  estimates <- stats::setNames(as.vector(stats::predict(x)), labels)
  Sigma <- as.matrix(stats::vcov(x))
  dimnames(Sigma) <- list(labels, labels)
  list(estimates = estimates, Sigma = Sigma)
}

model_parts.htest <- function(x) {
  refuse(paste0(
    "a test result (class \"htest\", e.g. from t.test()) holds no covariance matrix of its ",
    "estimates; pass the estimate and its variance instead, e.g. ",
    "ineqbf(c(d = estimate), \"d > 0\", Sigma = stderr^2) with the test's estimate and $stderr, ",
    "or the model itself, e.g. lm(y ~ group)"))
}

# The estimates and their covariance matrix of x: a numeric vector with
# Sigma, or a fitted model (whose vcov() serves when Sigma is NULL). Where
# both the estimates and the matrix carry names they are matched by name.
estimates_of <- function(x, Sigma, call) {
  tryCatch({
    if (is.numeric(x) && length(dim(x)) <= 1L) {
      if (is.null(Sigma)) refuse("Sigma, the covariance matrix of the estimates, is missing")
      estimates <- stats::setNames(as.vector(x), names(x))
      model <- FALSE
    } else {
      parts <- model_parts(x)
      estimates <- parts$estimates
      if (is.null(Sigma)) Sigma <- parts$Sigma
      model <- TRUE
    }
    Sigma <- as.matrix(Sigma)
    if (!is.numeric(Sigma)) refuse("Sigma must be a numeric matrix")
    storage.mode(Sigma) <- "double"
    if (is.null(names(estimates)) && !is.null(colnames(Sigma)) && length(estimates) == ncol(Sigma))
      names(estimates) <- colnames(Sigma)
    Sigma <- matched_covariance(estimates, Sigma, extra = model)
    if (model) refuse_aliased(estimates)
    list(estimates = stats::setNames(as.double(estimates), names(estimates)), Sigma = Sigma)
  }, ineqbf_error = function(e) {
    e$call <- call
    stop(e)
  })
}

# A model term that could not be estimated (NA in coef(), e.g. a predictor
# that is a copy of others in lm) is named rather than reported as a
# missing number.
refuse_aliased <- function(estimates) {
  na <- names(estimates)[is.na(estimates)]
  if (length(na))
    refuse(sprintf(paste0(
      "the model could not estimate %s: coef() gives NA, the term is aliased with (a linear ",
      "combination of) other terms; drop it from the model"), paste(na, collapse = ", ")))
}

# Sigma's parameter names: its column names, or its row names; NULL when it
# has none (or an empty one). Row and column names that differ are refused.
covariance_names <- function(Sigma) {
  rn <- rownames(Sigma)
  cn <- colnames(Sigma)
  if (!is.null(rn) && !is.null(cn) && !identical(rn, cn))
    refuse("the row names of Sigma differ from its column names")
  n <- if (is.null(cn)) rn else cn
  if (is.null(n) || anyNA(n) || !all(nzchar(n))) NULL else n
}

# Sigma in the order of the estimates when both carry names; as given when
# either has none. extra: whether Sigma may hold parameters beyond the
# estimates (a model's scale or thresholds), which are left out.
matched_covariance <- function(estimates, Sigma, extra) {
  est <- names(estimates)
  cov <- covariance_names(Sigma)
  if (is.null(cov) || is.null(est) || anyNA(est) || !all(nzchar(est))) return(Sigma)
  twice <- unique(c(est[duplicated(est)], cov[duplicated(cov)]))
  if (length(twice)) refuse(sprintf("the parameter name %s is given twice", quote_names(twice)))
  missing <- setdiff(est, cov)
  unknown <- if (extra) character(0) else setdiff(cov, est)
  if (length(missing) || length(unknown)) {
    why <- c(if (length(missing)) sprintf("Sigma has no row for %s", quote_names(missing)),
             if (length(unknown)) sprintf("Sigma's %s %s no estimate", quote_names(unknown),
                                          if (length(unknown) == 1L) "is" else "are"))
    hint <- if (!length(missing)) " (Sigma[names(x), names(x)] is the block of the estimates)" else ""
    refuse(paste0("the names of Sigma do not match those of the estimates: ",
                  paste(why, collapse = "; "), hint))
  }
  at <- match(est, cov)
  Sigma[at, at, drop = FALSE]
}

quote_names <- function(n) paste0("\"", n, "\"", collapse = ", ")
