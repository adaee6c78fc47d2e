#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer, UndefinedBehaviorSanitizer) and runs each
# on its seed corpus for a given time, a given number at a time; prints executions, coverage and
# findings per target. Exits 1 when any target found something (its input is kept in the report
# directory), 0 otherwise.
#
#   fuzz/run_fuzzers.sh [-t SECONDS] [-j JOBS] [-b BUILD_DIR] [-o REPORT_DIR] [TARGET ...]
#
# New inputs go to a scratch corpus in the report directory, never to fuzz/corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
seconds=60
jobs=2
build_dir=$source_dir/build-fuzz
report_dir=
while getopts "t:j:b:o:" option; do
  case $option in
    t) seconds=$OPTARG ;;
    j) jobs=$OPTARG ;;
    b) build_dir=$OPTARG ;;
    o) report_dir=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))

compiler=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$compiler" ]; then
  echo "run_fuzzers: clang++ is not installed" >&2
  exit 2
fi

targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  for source in "$source_dir"/fuzz/fuzz_*_target.cpp; do
    name=$(basename "$source" .cpp)
    targets+=("${name%_target}")
  done
fi
for name in "${targets[@]}"; do
  if [ ! -f "$source_dir/fuzz/${name}_target.cpp" ]; then
    known=$(cd "$source_dir/fuzz" && ls fuzz_*_target.cpp | sed 's/_target\.cpp$//' | tr '\n' ' ')
    echo "run_fuzzers: no fuzz target named '$name' (known: $known)" >&2
    exit 2
  fi
done
report_dir=${report_dir:-$(mktemp -d "${TMPDIR:-/tmp}/vt-fuzz.XXXXXX")}
mkdir -p "$report_dir"
if ! { cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER="$compiler" -DVT_FUZZ=ON -DVT_BUILD_GUI=OFF -DVT_BUILD_TESTS=OFF \
  -DVT_BUILD_BENCHMARKS=OFF && cmake --build "$build_dir" --target vt_fuzzers -j "$jobs"; } \
  >"$report_dir/build.log" 2>&1; then
  tail -n 40 "$report_dir/build.log" >&2
  echo "run_fuzzers: the fuzz build failed" >&2
  exit 1
fi

run_one() {
  local name=$1
  local work=$report_dir/$name
  mkdir -p "$work/corpus" "$work/artifacts" "$work/cwd"
  local seeds=()
  [ -d "$source_dir/fuzz/corpus/$name" ] && seeds=("$source_dir/fuzz/corpus/$name")
  # The bench file target opens the files a bench file names, relative to the working directory.
  (cd "$work/cwd" && "$build_dir/fuzz/$name" -max_total_time="$seconds" -timeout=20 \
    -rss_limit_mb=2560 -max_len=20000 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" "${seeds[@]}" \
    >"$work/log" 2>&1) || echo "exit $?" >"$work/failed"
}
export -f run_one
export report_dir build_dir source_dir seconds
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one {}'

status=0
printf '%-22s %8s %12s %8s %8s %8s  %s\n' target seconds executions exec/s cov ft findings
for name in "${targets[@]}"; do
  work=$report_dir/$name
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log" | tail -1)
  last=$(grep -E '^#[0-9]+.*cov: ' "$work/log" | tail -1 || true)
  cov=$(sed -n 's/.*cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.*ft: \([0-9]*\).*/\1/p' <<<"$last")
  findings=$(find "$work/artifacts" -type f | wc -l)
  verdict=none
  if [ -e "$work/failed" ] || [ "$findings" -gt 0 ]; then
    verdict="$findings input(s) in $work/artifacts, log $work/log"
    status=1
  fi
  printf '%-22s %8s %12s %8s %8s %8s  %s\n' "$name" "$seconds" "${execs:-?}" "${rate:-?}" \
    "${cov:-?}" "${ft:-?}" "$verdict"
done
echo "cores: $(nproc), $jobs at a time; logs in $report_dir"
exit $status
