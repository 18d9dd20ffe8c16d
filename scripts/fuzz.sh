#!/usr/bin/env bash
# Builds one fuzz target (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) in
# build/fuzz and runs it over its seed corpus (fuzz/corpus/NAME) and then for SECONDS in all:
#   bash scripts/fuzz.sh NAME [SECONDS]     NAME: chunk_reader, seek_scan, export, import,
#                                           conversation, answer_rules, modbus_learner,
#                                           telnet_session
# New inputs go to build/fuzz/corpus/NAME, never into the checked-in seeds; an input that fails
# is kept as build/fuzz/artifacts/NAME-crash-*. Exits non-zero when the target fails.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
name=${1:?usage: fuzz.sh NAME [SECONDS]}
seconds=${2:-300}
[[ -d "$root/fuzz/corpus/$name" ]] || { echo "fuzz.sh: no target $name" >&2; exit 2; }

bash "$root/scripts/install-deps.sh"
build="$root/build/fuzz"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    mkdir -p "$build"
    cmake -S "$root" -B "$build" -Wno-dev -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DVELTRANE_FUZZ=ON -DVELTRANE_TESTS=OFF >"$build.configure.log" 2>&1 ||
        { cat "$build.configure.log"; exit 1; }
fi
cmake --build "$build" -j "$(nproc)" --target "fuzz_$name" >"$build.$name.build.log" 2>&1 ||
    { cat "$build.$name.build.log"; exit 1; }

mkdir -p "$build/corpus/$name" "$build/artifacts"
# The targets work through scratch files: in memory they run ten times as fast.
[[ -d /dev/shm && -w /dev/shm ]] && export TMPDIR=/dev/shm
echo "== fuzz $name for ${seconds}s"
"$build/fuzz/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$name-" "$build/corpus/$name" "$root/fuzz/corpus/$name" \
    >"$build/$name.log" 2>&1 || { tail -60 "$build/$name.log"; exit 1; }
grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)' "$build/$name.log" || true
