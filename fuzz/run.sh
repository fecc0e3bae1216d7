#!/usr/bin/env bash
# Builds the fuzz targets with clang (build-fuzz/) and runs each for SECONDS seconds on its
# committed seeds in fuzz/corpus/<target>/; new inputs go to build-fuzz/corpus/<target>/,
# crashes to build-fuzz/artifacts/. SECONDS=0 only replays the seeds, without fuzzing.
#   fuzz/run.sh SECONDS [TARGET...]       JOBS=2 runs two at a time (default one)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET...]}
shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(ini_fuzzer list_fuzzer pagesetup_fuzzer url_fuzzer form_fuzzer xml_fuzzer html_fuzzer
                                    results_import_fuzzer binder_fuzzer)
jobs=${JOBS:-1}

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-fuzz -DVEDRIS_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}"

mkdir -p build-fuzz/artifacts build-fuzz/logs
run_one() {
  local t=$1 seeds=fuzz/corpus/$1
  if [ "$seconds" = 0 ]; then
    # Every seed once; a crash, a leak or a sanitizer report fails the replay.
    "build-fuzz/bin/$t" -runs=1 "$seeds"/* >"build-fuzz/logs/$t.log" 2>&1
  else
    mkdir -p "build-fuzz/corpus/$t"
    "build-fuzz/bin/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="build-fuzz/artifacts/$t-" \
      "build-fuzz/corpus/$t" "$seeds" >"build-fuzz/logs/$t.log" 2>&1
  fi
}

status=0
pids=()
names=()
for t in "${targets[@]}"; do
  run_one "$t" &
  pids+=($!)
  names+=("$t")
  if [ ${#pids[@]} -ge "$jobs" ]; then
    if wait "${pids[0]}"; then echo "ok      ${names[0]}"; else echo "FAILED  ${names[0]} (build-fuzz/logs/${names[0]}.log)"; status=1; fi
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
  fi
done
for i in "${!pids[@]}"; do
  if wait "${pids[$i]}"; then echo "ok      ${names[$i]}"; else echo "FAILED  ${names[$i]} (build-fuzz/logs/${names[$i]}.log)"; status=1; fi
done
exit $status
