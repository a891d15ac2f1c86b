#!/usr/bin/env bash
# Builds every fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) into build-fuzz and runs each for SECONDS
# (default 45), starting from the committed corpus. New inputs go to a scratch
# folder, not into the repository. Exits non-zero at the first finding; the
# input that failed is left in build-fuzz/findings/.
#
# The mutations start from a fixed seed, so a finding in a test run can be
# replayed with the same command; FUZZ_SEED picks another to explore further
# (0 lets libFuzzer choose one).
#
#   [FUZZ_SEED=N] scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-45}
seed=${FUZZ_SEED:-1}

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++-14 -DVANTEL_FUZZ=ON \
  -DVANTEL_BUILD_UI=OFF -DVANTEL_BUILD_TESTS=OFF -DVANTEL_BUILD_BENCH=OFF
cmake --build build-fuzz -j "$(nproc)"

mkdir -p build-fuzz/findings
for corpus in fuzz/corpus/*/; do
  target=$(basename "$corpus")
  scratch=build-fuzz/scratch/$target
  mkdir -p "$scratch"
  echo "== fuzz_$target for ${seconds}s"
  build-fuzz/fuzz/fuzz_$target -seed="$seed" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -max_len=4096 -print_final_stats=1 -artifact_prefix=build-fuzz/findings/"$target"- \
    "$scratch" "$corpus"
done
