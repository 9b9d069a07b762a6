#!/usr/bin/env bash
# Installs the R package from this checkout into a temporary library and runs
# its testthat suite (the golden cases of the checkout included). Run from
# anywhere in the checkout, as root on Debian 12 (the Debian packages it
# needs are installed when missing):
#
#   r/test.sh            install and test
#   r/test.sh --check    also R CMD build and R CMD check --no-manual
#   r/test.sh --document only regenerate man/ and NAMESPACE from the
#                        roxygen comments in R/ (installs r-cran-roxygen2)
#
# Exit status 0 when every test passes (and the check has no error).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
check=false
document=false
[ "${1:-}" = "--check" ] && check=true
[ "${1:-}" = "--document" ] && document=true

# The model packages are for the tests that feed fitted models straight in
# (each of those tests skips when its package is missing).
packages="r-base-dev r-cran-rcpp r-cran-testthat r-cran-future.apply
  r-cran-lme4 r-cran-nlme r-cran-lavaan r-cran-survival r-cran-mass
  r-cran-metafor r-cran-emmeans r-cran-glmmtmb"
$document && packages="r-base-dev r-cran-rcpp r-cran-roxygen2"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "== installing$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

if $document; then
  cd "$root/r"
  Rscript -e 'Rcpp::compileAttributes(); roxygen2::roxygenise(roclets = c("rd", "namespace"), load_code = "source")'
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MAKEFLAGS=-j2

echo "== installing the package into $work/lib"
mkdir "$work/lib"
(cd "$root" && R CMD INSTALL --clean --library="$work/lib" r) >"$work/install.log" 2>&1 || {
  cat "$work/install.log"
  echo "R CMD INSTALL failed"
  exit 1
}
grep -E '^configure:' "$work/install.log" || true

echo "== testthat"
cd "$root/r/tests"
INEQBF_SOURCE_DIR="$root" R_LIBS="$work/lib" NOT_CRAN=true Rscript -e '
  results <- as.data.frame(testthat::test_dir("testthat", package = "ineqbf",
                                              load_package = "installed", stop_on_failure = FALSE,
                                              reporter = "summary"))
  failed <- sum(results$failed) + sum(results$error)
  cat(sprintf("%d passed, %d failed, %d skipped\n", sum(results$passed), failed, sum(results$skipped)))
  quit(status = if (failed > 0) 1 else 0)'

if $check; then
  echo "== R CMD build and R CMD check --no-manual"
  cd "$work"
  R CMD build --no-build-vignettes "$root/r" >build.log 2>&1 || { cat build.log; exit 1; }
  INEQBF_SOURCE_DIR="$root" R_LIBS="$work/lib" _R_CHECK_FORCE_SUGGESTS_=false \
    R CMD check --no-manual ineqbf_*.tar.gz >check.log 2>&1 || { cat check.log; exit 1; }
  cat check.log
  grep -q '^Status:.*ERROR' check.log && exit 1
  true
fi
