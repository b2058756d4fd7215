#!/bin/bash
# run_fuzz.sh -- builds the XM fuzzer (clang, libFuzzer, ASan, UBSan) and runs
# it for N seconds (default 60) on one core, from a seed corpus of the real
# modules (when present) and small hand-made ones. Inputs that fail are
# written to fuzz/findings/; keep them in tests/regress/ once fixed.
#   fuzz/run_fuzz.sh [seconds]
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
out=${FUZZ_BUILD_DIR:-$root/build-fuzz}
mkdir -p "$out/corpus" "$out/seeds" "$root/fuzz/findings"

flags="-std=c++20 -g -O1 -I$root -fno-exceptions -fno-rtti"
sources="$root/player/stream.cpp $root/player/memory_file.cpp $root/player/xm_loader.cpp
         $root/player/song.cpp $root/player/channel.cpp $root/player/replay.cpp
         $root/mixer/voice.cpp $root/mixer/mixer.cpp $root/mixer/mix_lock_std.cpp"
clang++ $flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    $sources "$root/fuzz/fuzz_xm.cpp" -o "$out/fuzz_xm" -lpthread
clang++ -std=c++20 -O1 -I"$root" "$root/fuzz/make_seeds.cpp" \
    "$root/tools/formats/xm_writer.cpp" -o "$out/make_seeds"
"$out/make_seeds" "$out/seeds"
corpus_dir=${TAVIMO_XM_CORPUS:-$root/../shared/xm-corpus}
if [ -d "$corpus_dir" ]; then cp -n "$corpus_dir"/*.xm "$out/seeds/" 2>/dev/null || true; fi
if [ -d "$root/tests/regress" ]; then cp -n "$root"/tests/regress/*.xm "$out/seeds/" 2>/dev/null || true; fi

cd "$root/fuzz/findings"
# One worker process, restarted after any finding so the run goes on; each
# failing input is saved here as crash-*, timeout-*, oom-* or leak-*.
"$out/fuzz_xm" "$out/corpus" "$out/seeds" -max_total_time="$seconds" -fork=1 \
    -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -max_len=65536 -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 2>&1 | tee "$out/last_run.log"
