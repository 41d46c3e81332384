#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer + ASan + UBSan) and runs each
# for a while, starting from the seed corpora in fuzz/corpus.
#
#   fuzz/run.sh                  about 25 s per target (what CI runs)
#   FUZZ_SECONDS=3600 fuzz/run.sh   an hour per target, for a longer run
#   FUZZ_JOBS=2 ...                 that many fuzzing processes per target
#
# New inputs go to a scratch corpus under the build folder, never into the
# committed seeds. A crash leaves its input in build-fuzz/artifacts/; copy it
# to fuzz/regressions/<target without _fuzzer>/ once fixed, where the normal
# test suite replays it (fuzz_regression_tests).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-25}
jobs=${FUZZ_JOBS:-1}
build=${XMLPELLOR_FUZZ_BUILD_DIR:-build-fuzz}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DXMLPELLOR_FUZZ=ON -DXMLPELLOR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target load_fuzzer transform_fuzzer

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$build/artifacts"
parallel=()
if [ "$jobs" -gt 1 ]; then parallel=(-jobs="$jobs" -workers="$jobs"); fi
status=0
for target in load transform; do
  scratch="$build/corpus/$target"
  mkdir -p "$scratch"
  echo "== fuzzing $target for ${seconds}s"
  # -timeout: an input that runs this long is a hang, and a finding.
  # -rss_limit_mb: an input that needs this much memory is a finding too.
  if ! "$build/fuzz/${target}_fuzzer" "$scratch" "fuzz/corpus/$target" "fuzz/regressions/$target" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 -dict=fuzz/xml.dict \
      ${parallel[@]+"${parallel[@]}"} -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/${target}-" 2>&1 | tail -n 40; then
    status=1
  fi
done
exit $status
