# Shared by scripts/run and scripts/test: install what is missing, configure and build.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${KALMIRA_BUILD_DIR:-$ROOT/build}"

# What the program needs to build and run.
BUILD_PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libmatio-dev zlib1g-dev nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev"
# What the tests use as independent tools beside it.
TEST_PACKAGES="python3 python3-numpy python3-scipy python3-pytest sox clang libclang-rt-14-dev xvfb xdotool locales dpkg-dev lintian"

ensure_packages() {
    local missing="" p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing:$missing"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
    else
        echo "These Debian packages are missing. Install them with:" >&2
        echo "  sudo apt-get install$missing" >&2
        exit 1
    fi
}

build_all() {
    if [ ! -f "$BUILD/CMakeCache.txt" ]; then
        cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    fi
    cmake --build "$BUILD" -j "$(nproc)"
}
