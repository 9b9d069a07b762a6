#!/usr/bin/env bash
# Benchmarks ineqbf: whole runs of every input under bench/inputs, and the
# microbenchmarks of bench/micro.cpp.
#
#   bench/run.sh                     this tree alone
#   bench/run.sh --baseline REV      REV and this tree side by side, with ratios
#
# Options:
#   --baseline REV   also build commit REV (from a clean copy in a temporary
#                    folder) and print this tree's times as ratios to REV's;
#                    the microbenchmarks of this tree run against both
#   --runs N         whole runs per input and binary (default 5); the two
#                    binaries take turns, so a change of load hits both
#   --inputs "A B"   only these inputs (default: every folder of bench/inputs)
#   --no-micro       skip the microbenchmarks
#   --micro-reps N   repetitions of each microbenchmark per round (default 3;
#                    two rounds, the binaries taking turns)
#   --callgrind      also count instructions of whole runs under callgrind
#                    (robust to load; about 50 times slower than a run, so
#                    by default for every input but deep; this tree's
#                    portable chains on one thread)
#   --callgrind-inputs "A B"  the inputs for --callgrind
#   --build DIR      build folder of this tree (default build-bench)
#   --args "A B"     arguments of this tree's binary in the whole runs (e.g.
#                    "--threads 1 ."; the baseline runs without arguments)
#   --no-integration skip the integration method's measurements
#   --calibrate N    problems of the integration's calibration campaign
#                    (default 300; 0 skips it)
#   --batch "A B"    also time a batch: eight problems (these inputs in turn)
#                    as one command `ineqbf -j 2 dir1 ... dir8` against the
#                    eight single runs one after another, with the program's
#                    threads and with --threads 1 (this tree; the baseline's
#                    single runs too when there is one)
#
# Each whole run happens in a scratch folder; its Output.txt and console are
# compared with the input's golden files (column "same": yes or NO).
# Truncated draws are counted from the iteration numbers of the report: a
# constraint k >= 2 whose final chain has NITER iterations ran every chain of
# the ladder up to NITER, each NBURN + NITER sweeps of NPAR truncated draws.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=5
inputs=""
micro=1
micro_reps=3
callgrind=0
callgrind_inputs=""
baseline=""
build="build-bench"
current_args=""
batch=""
integration=1
calibrate=300
while [ $# -gt 0 ]; do
  case "$1" in
    --baseline) baseline="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --inputs) inputs="$2"; shift 2 ;;
    --no-micro) micro=0; shift ;;
    --micro-reps) micro_reps="$2"; shift 2 ;;
    --callgrind) callgrind=1; shift ;;
    --callgrind-inputs) callgrind=1; callgrind_inputs="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --args) current_args="$2"; shift 2 ;;
    --batch) batch="$2"; shift 2 ;;
    --no-integration) integration=0; shift ;;
    --calibrate) calibrate="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
[ -n "$inputs" ] || inputs=$(cd "$root/bench/inputs" && ls -d */ | tr -d / | tr '\n' ' ')
[ -n "$callgrind_inputs" ] || callgrind_inputs=$(echo "$inputs" | tr ' ' '\n' | grep -vx deep | tr '\n' ' ')

scratch=$(mktemp -d /tmp/ineqbf-bench.XXXXXX)
cleanup() {
  if [ -n "$baseline" ] && [ -d "$scratch/baseline-src" ]; then
    git -C "$root" worktree remove --force "$scratch/baseline-src" >/dev/null 2>&1 || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

# Builds ineqbf (and the microbenchmarks when the tree has them) in Release.
build_tree() {
  local src=$1 dir=$2 bench=OFF
  [ -f "$src/bench/CMakeLists.txt" ] && [ "$micro" = 1 ] && bench=ON
  cmake -S "$src" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DINEQBF_TESTS=OFF -DINEQBF_BENCH=$bench >/dev/null
  cmake --build "$dir" -j2 --target ineqbf >/dev/null
  if [ $bench = ON ]; then cmake --build "$dir" -j2 --target ineqbf_micro >/dev/null; fi
}

names=(current)
exes=("$root/$build/driver/ineqbf")
micros=("$root/$build/bench/ineqbf_micro")
echo "building this tree in $build ..."
build_tree "$root" "$root/$build"
if [ -n "$baseline" ]; then
  rev=$(git -C "$root" rev-parse --short "$baseline")
  echo "building baseline $rev in $scratch ..."
  git -C "$root" worktree add --detach "$scratch/baseline-src" "$rev" >/dev/null 2>&1
  # Both sides run this tree's microbenchmarks, the baseline against its own
  # library, when it has the sweep entry points they call.
  # A baseline whose library calls differ (no run context) cannot build
  # them: it runs its own, which have the same names.
  copied=0
  if [ "$micro" = 1 ] && grep -q fit_sweep "$scratch/baseline-src/driver/samplers.h" 2>/dev/null; then
    mkdir -p "$scratch/baseline-src/bench" "$scratch/baseline-src/tests/driver"
    cp "$root/bench/CMakeLists.txt" "$root/bench/micro.cpp" "$scratch/baseline-src/bench/"
    cp "$root/tests/driver/reference_sweep.h" "$root/tests/driver/problem.h" "$scratch/baseline-src/tests/driver/"
    copied=1
  fi
  if ! build_tree "$scratch/baseline-src" "$scratch/baseline-build" 2>/dev/null; then
    [ "$copied" = 1 ] || exit 1
    echo "this tree's microbenchmarks do not build against $rev: it runs its own"
    git -C "$scratch/baseline-src" checkout -q -- bench tests/driver
    git -C "$scratch/baseline-src" clean -fdq -- bench tests/driver
    build_tree "$scratch/baseline-src" "$scratch/baseline-build"
  fi
  names=(baseline current)
  exes=("$scratch/baseline-build/driver/ineqbf" "${exes[0]}")
  micros=("$scratch/baseline-build/bench/ineqbf_micro" "${micros[0]}")
fi

median() { sort -g | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# Truncated draws of a run, from NPAR (line 2 of Input.txt) and the iteration
# numbers of the Fits and Complexities tables of Output.txt.
truncated_draws() {
  local input=$1 output=$2
  local npar
  npar=$(sed -n 2p "$input" | tr -s ' \t,' '  ' | awk '{print $1}')
  tr -d '\r' < "$output" | awk -v npar="$npar" '
    BEGIN { n = split("1000 3000 9600 120000 360000 2520000 10000000", ladder, " ") }
    /numbers of iterations/ { table = 1; k = 0; next }
    table && NF == 2 { k++; if (k >= 2) for (i = 1; i <= n && ladder[i] <= $2; i++) total += npar * (ladder[i] + 100); next }
    { table = 0 }
    END { printf "%.0f\n", total }'
}

# One whole run of binary $1 on input $2 in a fresh folder, with the
# arguments $3 (the current binary only): prints the wall time in seconds,
# the peak resident memory in KiB, the processor time (user and system, of
# every thread) and whether the results are the golden ones.
one_run() {
  local exe=$1 name=$2 args=$3 dir="$scratch/run"
  rm -rf "$dir" && mkdir -p "$dir" && cp "$root/bench/inputs/$name/Input.txt" "$dir/"
  local t0 t1 status=0
  t0=$EPOCHREALTIME
  (cd "$dir" && /usr/bin/time -f '%M %U %S' -o "$dir/mem" "$exe" $args > "$dir/console.out" 2>/dev/null) || status=$?
  t1=$EPOCHREALTIME
  local same=yes
  cmp -s "$dir/console.out" "$root/bench/inputs/$name/console.txt" || same=NO
  cmp -s "$dir/Output.txt" "$root/bench/inputs/$name/Output.txt" || same=NO
  [ "$status" = 0 ] || same=NO
  echo "$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.4f", b - a}') $(tail -1 "$dir/mem" | awk '{printf "%s %.2f", $1, $2 + $3}') $same"
}

echo
echo "Whole runs: median of $runs (wall seconds; spread: slowest over fastest run), processor"
echo "seconds (all threads), peak memory, truncated draws per second"
if [ ${#names[@]} = 2 ]; then
  printf '%-9s %9s %9s %7s %7s %7s %8s %8s %9s %9s %10s %10s %5s\n' input "base s" "curr s" ratio \
    "spread" "spread" "base cpu" "curr cpu" "base KiB" "curr KiB" "base d/s" "curr d/s" same
else
  printf '%-9s %9s %7s %8s %9s %10s %5s\n' input "wall s" spread "cpu s" "peak KiB" "draws/s" same
fi
for name in $inputs; do
  declare -A times=() cpus=() mems=() sames=()
  for ((r = 1; r <= runs; r++)); do
    order=(0 1); [ $((r % 2)) = 0 ] && order=(1 0)
    for b in "${order[@]}"; do
      [ "$b" -lt ${#names[@]} ] || continue
      args=""; [ "${names[$b]}" = current ] && args=$current_args
      read -r t m c s < <(one_run "${exes[$b]}" "$name" "$args")
      times[$b]+="$t "; cpus[$b]+="$c "; mems[$b]=$m
      [ "$s" = yes ] || sames[$b]=NO
    done
  done
  draws=$(truncated_draws "$root/bench/inputs/$name/Input.txt" "$root/bench/inputs/$name/Output.txt")
  med=(); cpu=(); spread=(); dps=(); same=yes
  for ((b = 0; b < ${#names[@]}; b++)); do
    med[$b]=$(echo "${times[$b]}" | tr ' ' '\n' | grep . | median)
    cpu[$b]=$(echo "${cpus[$b]}" | tr ' ' '\n' | grep . | median)
    spread[$b]=$(echo "${times[$b]}" | tr ' ' '\n' | grep . | sort -g |
      awk 'NR == 1 {lo = $1} {hi = $1} END {printf "%.3f", (lo > 0 ? hi / lo : 0)}')
    dps[$b]=$(awk -v d="$draws" -v t="${med[$b]}" 'BEGIN {printf "%.3g", (t > 0 ? d / t : 0)}')
    [ "${sames[$b]:-yes}" = yes ] || same=NO
  done
  if [ ${#names[@]} = 2 ]; then
    ratio=$(awk -v a="${med[0]}" -v b="${med[1]}" 'BEGIN {printf "%.3f", (a > 0 ? b / a : 0)}')
    printf '%-9s %9s %9s %7s %7s %7s %8s %8s %9s %9s %10s %10s %5s\n' "$name" "${med[0]}" "${med[1]}" \
      "$ratio" "${spread[0]}" "${spread[1]}" "${cpu[0]}" "${cpu[1]}" "${mems[0]}" "${mems[1]}" \
      "${dps[0]}" "${dps[1]}" "$same"
  else
    printf '%-9s %9s %7s %8s %9s %10s %5s\n' "$name" "${med[0]}" "${spread[0]}" "${cpu[0]}" "${mems[0]}" \
      "${dps[0]}" "$same"
  fi
  unset times cpus mems sames
done

if [ -n "$batch" ]; then
  echo
  echo "Batch of 8 problems ($batch in turn): median of $runs (wall seconds), processor seconds"
  read -r -a pool <<< "$batch"
  dirs=()
  for ((j = 0; j < 8; j++)); do
    name=${pool[$((j % ${#pool[@]}))]}
    dirs+=("$scratch/batch/p$j-$name")
  done
  # Fresh folders holding only Input.txt; after a variant, every report must
  # be the golden one.
  fresh() {
    rm -rf "$scratch/batch" && mkdir -p "$scratch/batch"
    for d in "${dirs[@]}"; do
      mkdir -p "$d" && cp "$root/bench/inputs/$(basename "$d" | cut -d- -f2-)/Input.txt" "$d/"
    done
  }
  golden() {
    local ok=yes
    for d in "${dirs[@]}"; do
      cmp -s "$d/Output.txt" "$root/bench/inputs/$(basename "$d" | cut -d- -f2-)/Output.txt" || ok=NO
    done
    echo $ok
  }
  # variant name -> command run in the scratch folder
  variants=(singles singles-t1 batch-j2)
  [ ${#names[@]} = 2 ] && variants+=(base-singles)
  declare -A btimes=() bcpus=() bsame=()
  for ((r = 1; r <= runs; r++)); do
    for v in "${variants[@]}"; do
      fresh
      t0=$EPOCHREALTIME
      case $v in
        singles) /usr/bin/time -f '%U %S' -o "$scratch/batch.cpu" bash -c \
                   'for d in "$@"; do (cd "$d" && "'"${exes[-1]}"'" >/dev/null 2>&1); done' _ "${dirs[@]}" ;;
        singles-t1) /usr/bin/time -f '%U %S' -o "$scratch/batch.cpu" bash -c \
                   'for d in "$@"; do (cd "$d" && "'"${exes[-1]}"'" --threads 1 . >/dev/null 2>&1); done' _ "${dirs[@]}" ;;
        batch-j2) /usr/bin/time -f '%U %S' -o "$scratch/batch.cpu" "${exes[-1]}" -q -j 2 "${dirs[@]}" >/dev/null 2>&1 ;;
        base-singles) /usr/bin/time -f '%U %S' -o "$scratch/batch.cpu" bash -c \
                   'for d in "$@"; do (cd "$d" && "'"${exes[0]}"'" >/dev/null 2>&1); done' _ "${dirs[@]}" ;;
      esac
      t1=$EPOCHREALTIME
      btimes[$v]+="$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.4f", b - a}') "
      bcpus[$v]+="$(tail -1 "$scratch/batch.cpu" | awk '{printf "%.2f", $1 + $2}') "
      [ "$(golden)" = yes ] || bsame[$v]=NO
    done
  done
  declare -A bmed=()
  printf '%-14s %9s %8s %8s %5s\n' variant "wall s" spread "cpu s" same
  for v in "${variants[@]}"; do
    bmed[$v]=$(echo "${btimes[$v]}" | tr ' ' '\n' | grep . | median)
    spr=$(echo "${btimes[$v]}" | tr ' ' '\n' | grep . | sort -g |
      awk 'NR == 1 {lo = $1} {hi = $1} END {printf "%.3f", (lo > 0 ? hi / lo : 0)}')
    cpu=$(echo "${bcpus[$v]}" | tr ' ' '\n' | grep . | median)
    printf '%-14s %9s %8s %8s %5s\n' "$v" "${bmed[$v]}" "$spr" "$cpu" "${bsame[$v]:-yes}"
  done
  for v in singles singles-t1 base-singles; do
    [ -n "${bmed[$v]:-}" ] || continue
    echo "batch-j2 / $v: $(awk -v a="${bmed[$v]}" -v b="${bmed[batch-j2]}" 'BEGIN {printf "%.3f", b / a}')"
  done
fi

if [ "$callgrind" = 1 ]; then
  echo
  echo "Instructions of whole runs (callgrind)"
  for name in $callgrind_inputs; do
    line="$name"
    declare -a ir=()
    for ((b = 0; b < ${#names[@]}; b++)); do
      dir="$scratch/cg" && rm -rf "$dir" && mkdir -p "$dir" && cp "$root/bench/inputs/$name/Input.txt" "$dir/"
      # valgrind does not decode every AVX instruction: the chains compiled
      # for every processor; and one thread (valgrind runs threads one at a
      # time, so chains run ahead would run far past where they are
      # abandoned): the instructions of the analysis itself.
      # (this tree: the arguments of --args too, e.g. --no-check)
      cg_args=""; [ "${names[$b]}" = current ] && cg_args="--threads 1 ${current_args:-.}"
      (cd "$dir" && INEQBF_ISA=portable valgrind --tool=callgrind --callgrind-out-file="$dir/cg.out" \
        "${exes[$b]}" $cg_args >/dev/null 2>"$dir/cg.log") || true
      ir[$b]=$(awk '/Collected :/ {print $NF}' "$dir/cg.log")
      line+=" ${names[$b]}=${ir[$b]}"
    done
    if [ ${#names[@]} = 2 ]; then
      line+=" ratio=$(awk -v a="${ir[0]}" -v b="${ir[1]}" 'BEGIN {printf "%.3f", b / a}')"
    fi
    echo "$line"
    unset ir
  done
fi

if [ "$micro" = 1 ]; then
  have=()
  for ((b = 0; b < ${#names[@]}; b++)); do [ -x "${micros[$b]}" ] && have+=("$b"); done
  if [ ${#have[@]} -gt 0 ]; then
    echo
    echo "Microbenchmarks: median over 2 rounds x $micro_reps repetitions of CPU ns per call (sweeps and pieces: per update)"
    for round in 1 2; do
      for b in "${have[@]}"; do
        "${micros[$b]}" --benchmark_repetitions="$micro_reps" --benchmark_format=csv \
          2>/dev/null >> "$scratch/micro.$b.csv"
      done
    done
    # name -> median of the nanoseconds per item (per call, or per update
    # for the sweeps and pieces), from items_per_second (CPU time).
    micro_medians() {
      awk -F, 'NR > 1 && $1 ~ /^"BM_/ && $1 !~ /_(mean|median|stddev|cv)"$/ && $7 > 0 {
                 gsub(/"/, "", $1); print $1, 1e9 / $7 }' "$1" |
        sort -k1,1 -k2,2g | awk '
          function flush() { if (n) print prev, (n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2) }
          $1 != prev { flush(); n = 0; prev = $1 }
          { v[++n] = $2 }
          END { flush() }'
    }
    for b in "${have[@]}"; do micro_medians "$scratch/micro.$b.csv" > "$scratch/micro.$b.med"; done
    if [ ${#have[@]} = 2 ]; then
      printf '%-34s %12s %12s %8s\n' benchmark baseline current ratio
      join "$scratch/micro.0.med" "$scratch/micro.1.med" |
        awk '{printf "%-34s %12.1f %12.1f %8.3f\n", $1, $2, $3, ($2 > 0 ? $3 / $2 : 0)}'
    else
      printf '%-34s %12s\n' benchmark "${names[${have[0]}]}"
      awk '{printf "%-34s %12.1f\n", $1, $2}' "$scratch/micro.${have[0]}.med"
    fi
    echo
    echo "One update against the sum of its unavoidable pieces (sweep ns per update / pieces ns per update;"
    echo "chained: each update's pieces wait for the previous update, as in the chain)"
    for b in "${have[@]}"; do
      awk -v who="${names[$b]}" '{v[$1] = $2}
          function ratio(a, b) { return (a in v) && (b in v) && v[b] > 0 ? sprintf("%.3f", v[a] / v[b]) : "-" }
          END {
            printf "%-9s fit %s (chained %s)   complexity %s (chained %s)\n", who,
              ratio("BM_FitSweep_NPAR10_9rows", "BM_FitUpdatePieces"),
              ratio("BM_FitSweep_NPAR10_9rows", "BM_FitUpdatePiecesChained"),
              ratio("BM_ComplexitySweep_NPAR10_9rows", "BM_ComplexityUpdatePieces"),
              ratio("BM_ComplexitySweep_NPAR10_9rows", "BM_ComplexityUpdatePiecesChained") }' "$scratch/micro.$b.med"
    done
  fi
fi

# The integration method: time per analysis (median of five) and the
# relative MC error it states at the default precision, beside one Gibbs
# run through the library on one thread; the calibration campaign of
# simulated regressions against exact Bayes factors; typical regressions of
# ten parameters and one to five rows.
if [ "$integration" = 1 ]; then
  echo
  echo "Integration (this tree; bench/integration.cpp)"
  cmake -S "$root" -B "$root/$build" -DINEQBF_BENCH=ON >/dev/null
  cmake --build "$root/$build" -j2 --target ineqbf_integration_bench >/dev/null
  ibench="$root/$build/bench/ineqbf_integration_bench"
  files=()
  for input in $inputs; do files+=("$root/bench/inputs/$input/Input.txt"); done
  "$ibench" inputs "${files[@]}"
  "$ibench" typical 200
  if [ "$calibrate" -gt 0 ]; then "$ibench" calibrate "$calibrate"; fi
fi
