#!/bin/sh
# Builds the VmKalLib readers with clang, libFuzzer and AddressSanitizer into
# one fuzz target per reader family and runs each over its seed corpus for a
# short time.  Exits non-zero when a target crashes, leaks, hangs or makes a
# huge allocation, or when it cannot be built.
#
#   tests/fuzz/run-fuzz.sh [SECONDS]          (default 20 s per target)
#
# Environment: FUZZ_BUILD (build directory, default build-fuzz in the source
# tree), FUZZ_TARGETS (families to run, default "text spw binary mat sigmf"),
# FUZZ_SEED (libFuzzer's random seed; unset, each run explores afresh, set,
# a run repeats the same inputs, as CI wants).
set -u

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
seconds=${1:-20}
build=${FUZZ_BUILD:-$root/build-fuzz}
targets=${FUZZ_TARGETS:-text spw binary mat sigmf}
seed=${FUZZ_SEED:+-seed=$FUZZ_SEED}

missing=""
command -v clang++ >/dev/null 2>&1 || missing="$missing clang"
command -v pkg-config >/dev/null 2>&1 || missing="$missing pkg-config"
if command -v clang++ >/dev/null 2>&1; then
    rt=$(clang++ -print-file-name=libclang_rt.fuzzer-x86_64.a 2>/dev/null)
    case "$rt" in /*) [ -f "$rt" ] || missing="$missing libclang-rt-dev" ;;
                 *) rt=$(clang++ -print-resource-dir)/lib/linux/libclang_rt.fuzzer-x86_64.a
                    [ -f "$rt" ] || missing="$missing libclang-rt-dev" ;; esac
fi
pkg-config --exists matio 2>/dev/null || missing="$missing libmatio-dev"
[ -f /usr/include/nlohmann/json.hpp ] || missing="$missing nlohmann-json3-dev"
if [ -n "$missing" ]; then
    echo "run-fuzz.sh: missing:$missing (apt-get install clang libclang-rt-14-dev libmatio-dev nlohmann-json3-dev pkg-config)" >&2
    exit 2
fi

mkdir -p "$build/obj" "$build/artifacts" || exit 2
flags="-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=address,fuzzer-no-link"
incs="-I$root/iqfiles -I$root/iqfiles/include $(pkg-config --cflags matio)"
# The version the library writes into SigMF recordings, as CMake passes it.
version=$(sed -n 's/^project(Kalmira VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
flags="$flags -DVMKAL_VERSION=\"$version\""

# The library's sources once, shared by every target.
objs=""
for src in "$root"/iqfiles/*.cpp; do
    obj="$build/obj/$(basename "$src" .cpp).o"
    stale=0
    for dep in "$src" "$root"/iqfiles/*.h "$root"/iqfiles/include/*.h; do
        [ "$dep" -nt "$obj" ] && stale=1
    done
    if [ ! -f "$obj" ] || [ $stale -eq 1 ]; then
        echo "compiling $(basename "$src")"
        clang++ $flags $incs -c "$src" -o "$obj" || { echo "run-fuzz.sh: cannot compile $src" >&2; exit 2; }
    fi
    objs="$objs $obj"
done

failed=""
for t in $targets; do
    bin="$build/fuzz_$t"
    echo "building fuzz_$t"
    clang++ -std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=address,fuzzer $incs \
        "$here/fuzz_$t.cpp" $objs $(pkg-config --libs matio) -lpthread -o "$bin" ||
        { echo "run-fuzz.sh: cannot build fuzz_$t" >&2; exit 2; }
    # New inputs go to a scratch corpus, so the checked-in seeds stay as they are.
    work="$build/corpus-$t"
    mkdir -p "$work"
    echo "running fuzz_$t for ${seconds} s"
    ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 LSAN_OPTIONS=suppressions="$here/lsan.supp" "$bin" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 \
        -max_len=16384 $seed -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" \
        "$work" "$here/corpus/$t" >"$build/fuzz_$t.log" 2>&1
    rc=$?
    tail -n 12 "$build/fuzz_$t.log" | grep -E "stat::number_of_executed_units|stat::peak_rss_mb|Done|ERROR|SUMMARY" || true
    if [ $rc -ne 0 ]; then
        echo "run-fuzz.sh: fuzz_$t FAILED (exit $rc); see $build/fuzz_$t.log and $build/artifacts/" >&2
        grep -E "ERROR|SUMMARY|==[0-9]+==" "$build/fuzz_$t.log" | head -n 5 >&2
        failed="$failed $t"
    fi
done

if [ -n "$failed" ]; then
    echo "run-fuzz.sh: failures in:$failed" >&2
    exit 1
fi
echo "run-fuzz.sh: all targets ran clean"
