#!/usr/bin/env bash
# Set up, build and test, or run the demo, on a Debian 12 machine.
#   ./run.sh test   install what is missing, check format and include direction,
#                   build (normal + sanitizer), run every test
#   ./run.sh demo [--keep]   install what is missing, build and run the service demo
#                   (--keep: leave it up until Ctrl+C)
#   ./run.sh gui    install what is missing, build, start a test cloud and relay
#                   on loopback and open the desktop client (closing it stops them)
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(pwd)

PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev python3 ccache clang-format
    qt6-base-dev libxcb1-dev libqt6svg6 xvfb xauth fonts-wqy-microhei)

install_missing() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    if [ ${#missing[@]} -eq 0 ]; then return; fi
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
    else
        echo "Please install these packages first (as root):"
        echo "  apt-get install ${missing[*]}"
        exit 1
    fi
}

jobs() { nproc 2>/dev/null || echo 2; }

export CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=1
build() {  # build <dir> [cmake options...]
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$ROOT/$dir" -G Ninja "$@" >/dev/null
    cmake --build "$ROOT/$dir" -j "$(jobs)"
}

run_tests() {  # run_tests <dir>
    ctest --test-dir "$ROOT/$1" --output-on-failure -j "$(jobs)" --timeout 300
}

case "${1:-}" in
test)
    install_missing
    echo "== source checks (format, include direction)"
    "$ROOT/.ci/check_format.sh"
    "$ROOT/.ci/check_includes.py"
    build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    build build-asan -DCMAKE_BUILD_TYPE=Debug -DGT_SANITIZE=ON
    echo "== normal build"
    run_tests build
    echo "== sanitizer build (ASan + UBSan)"
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests build-asan
    ;;
demo)
    install_missing
    echo "== building the service program, its settings helper and the service manager tool"
    cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$ROOT/build" -j "$(jobs)" --target QvrSvr svr_test_helper gtsvc
    shift
    exec python3 "$ROOT/demo/demo.py" --build "$ROOT/build" "$@"
    ;;
gui)
    install_missing
    echo "== building the desktop client"
    cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$ROOT/build" -j "$(jobs)" --target Quorvane QvrSvr
    shift
    exec python3 "$ROOT/demo/gui.py" --build "$ROOT/build" "$@"
    ;;
*)
    echo "usage: $0 test|demo [--keep]|gui" >&2
    exit 2
    ;;
esac
