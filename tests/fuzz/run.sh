#!/bin/sh
# Builds the fuzzers with clang (in build-fuzz/, apart from the normal build) and runs each for a
# bounded time. Usage: tests/fuzz/run.sh [seconds per fuzzer, default 60] [fuzzer names...]
# Inputs that break a fuzzer are written to build-fuzz/crashes/<name>/; once the fault is fixed,
# copy them to tests/fuzz/regressions/<name>/, where a unit test replays them on every build.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build="$root/build-fuzz"
seconds=${1:-60}
[ $# -gt 0 ] && shift
names=${*:-ini reply listing passive message password cmdline}

command -v clang++ >/dev/null || { echo "clang++ is needed: apt-get install clang" >&2; exit 2; }
CXX=clang++ cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2

failed=""
for name in $names; do
  corpus="$build/corpus/$name"
  crashes="$build/crashes/$name"
  mkdir -p "$corpus" "$crashes"
  # Start from the regressions, so that each run checks them again and explores from there.
  seeds="$here/regressions/$name"
  [ -d "$seeds" ] || seeds=""
  echo "== $name: $seconds s"
  if ! "$build/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
      -max_len=4096 -artifact_prefix="$crashes/" -print_final_stats=1 "$corpus" $seeds \
      >"$build/$name.log" 2>&1; then
    failed="$failed $name"
    tail -40 "$build/$name.log"
  else
    grep -E "stat::number_of_executed_units|cov:" "$build/$name.log" | tail -2
  fi
done
if [ -n "$failed" ]; then
  echo "fuzzers that found a fault:$failed (inputs in $build/crashes/)" >&2
  exit 1
fi
echo "all fuzzers ran without a finding"
