#!/usr/bin/env bash
# The commands of the project:
#   ./dev.sh main     build, then run the main job (an upgrade against the simulated handset)
#   ./dev.sh test     build, then run every test: plain, the Debian package, the Windows
#                     build under Wine, address + undefined behaviour, thread sanitizer,
#                     and a short run of each fuzzer
#   ./dev.sh package  build, then make the Debian package (build/release/package/*.deb)
#   ./dev.sh fuzz [SECONDS]  a longer campaign of every fuzzer, one at a time
# Each installs the Debian packages it needs first (once; quiet when all is there).
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(pwd)
JOBS=$(nproc)

PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libusb-1.0-0-dev libudev-dev umockdev libumockdev-dev
  fonts-liberation fonts-nanum xvfb xauth ccache
  g++-mingw-w64-x86-64-posix googletest wine wine64
  nlohmann-json3-dev dpkg-dev lintian)

ensure_packages() {
  local missing=() p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# ccache, when present, keeps repeated builds short. Paths are taken relative
# to the checkout, so two checkouts of the tree share one cache.
LAUNCHER=()
if command -v ccache >/dev/null 2>&1; then
  LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=true
fi

# build NAME [cmake options...]: configure and build into build/NAME, with
# warnings as errors (BUILD_TARGET, when set, builds that target only)
build() {
  local name=$1
  shift
  cmake -S "$ROOT" -B "$ROOT/build/$name" -G Ninja -Wno-dev -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    ${LAUNCHER[@]+"${LAUNCHER[@]}"} "$@" >/dev/null
  cmake --build "$ROOT/build/$name" -j "$JOBS" ${BUILD_TARGET:+--target "$BUILD_TARGET"}
}

run_tests() {
  local name=$1
  shift
  echo "== tests: $name"
  ctest --test-dir "$ROOT/build/$name" --output-on-failure -j "$JOBS" "$@"
}

# The seed corpus of a fuzzer, kept beside its source: tests/<module>/corpus/<fuzzer>.
fuzz_seeds() {
  local dir
  for dir in "$ROOT"/tests/*/corpus/"$1"; do
    [ -d "$dir" ] && echo "$dir" && return 0
  done
  return 1
}

build_fuzzers() {
  CC=clang CXX=clang++ BUILD_TARGET=fuzzers build fuzz -DTIDEWELL_FUZZ=ON -DTIDEWELL_SANITIZE=address -DTIDEWELL_UI=OFF
}

# run_fuzzer FUZZER SECONDS [libFuzzer options...]: one fuzzer over its seeds;
# what it finds grows build/fuzz/corpus/<fuzzer>, a crash lands in
# build/fuzz/artifacts/<fuzzer>/.
run_fuzzer() {
  local f=$1 seconds=$2 name seeds work artifacts
  shift 2
  name=$(basename "$f")
  seeds=$(fuzz_seeds "$name") || {
    echo "$name: no seed corpus in tests/*/corpus/$name" >&2
    return 1
  }
  work="$ROOT/build/fuzz/corpus/$name"
  artifacts="$ROOT/build/fuzz/artifacts/$name/"
  mkdir -p "$work" "$artifacts"
  "$f" -max_total_time="$seconds" -rss_limit_mb=2048 -artifact_prefix="$artifacts" "$@" "$work" "$seeds"
}

# The test command's short run of every fuzzer.
run_fuzzers() {
  echo "== fuzzers"
  build_fuzzers
  local f
  for f in "$ROOT"/build/fuzz/tests/bin/fuzz_*; do
    [ -x "$f" ] || continue
    echo "-- $(basename "$f")"
    run_fuzzer "$f" "${TIDEWELL_FUZZ_SECONDS:-20}" -print_final_stats=0 2>&1 | tail -n 2
  done
}

# ./dev.sh fuzz [SECONDS]: a longer campaign, one fuzzer at a time (600 s
# each by default), then per fuzzer its executions and coverage, and its
# corpus minimised into build/fuzz/minimised/<fuzzer> (copy that over the
# seed corpus to keep what the campaign found).
cmd_fuzz() {
  local seconds=${1:-600} f name log status failed=0 summary=()
  if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: ./dev.sh fuzz [SECONDS]  (seconds per fuzzer, default 600)" >&2
    exit 2
  fi
  ensure_packages
  build_fuzzers
  for f in "$ROOT"/build/fuzz/tests/bin/fuzz_*; do
    [ -x "$f" ] || continue
    name=$(basename "$f")
    log="$ROOT/build/fuzz/$name.log"
    echo "-- $name: $seconds s"
    status=0
    run_fuzzer "$f" "$seconds" -print_final_stats=1 >"$log" 2>&1 || status=$?
    tail -n 3 "$log"
    rm -rf "$ROOT/build/fuzz/minimised/$name"
    mkdir -p "$ROOT/build/fuzz/minimised/$name"
    "$f" -merge=1 "$ROOT/build/fuzz/minimised/$name" "$(fuzz_seeds "$name")" "$ROOT/build/fuzz/corpus/$name" \
      >/dev/null 2>&1 || true
    summary+=("$(printf '%-14s executions %-10s coverage %-6s features %-6s minimised corpus %s files%s' "$name" \
      "$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)" \
      "$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)" \
      "$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)" \
      "$(find "$ROOT/build/fuzz/minimised/$name" -type f | wc -l)" \
      "$([ "$status" -eq 0 ] || echo ", FAILED (see $log)")")")
    [ "$status" -eq 0 ] || failed=1
  done
  echo "== fuzz campaign"
  printf '%s\n' "${summary[@]}"
  return "$failed"
}

# The plain build, installed under /usr: the Debian package is made of it.
build_release() {
  build release -DCMAKE_INSTALL_PREFIX=/usr
}

# Makes the Debian package of the plain build and prints its path.
make_package() {
  rm -rf "$ROOT/build/release/package"
  (cd "$ROOT/build/release" && cpack -G DEB >/dev/null)
  ls "$ROOT"/build/release/package/*.deb
}

cmd_main() {
  ensure_packages
  build_release
  # A whole upgrade of the simulated handset, with its verification at the end.
  "$ROOT/build/release/bin/tidewell" --headless --simulate
}

# The Windows build (MinGW-w64) and its tests under Wine, which use the
# Linux build's helpers; skipped where Wine or MinGW-w64 is missing.
run_windows() {
  if ! command -v wine >/dev/null 2>&1 || ! command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1; then
    echo "== windows: skipped (wine or MinGW-w64 missing)"
    return 0
  fi
  build windows -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DTIDEWELL_HOST_BUILD_DIR="$ROOT/build/release"
  # The whole upgrade under Wine fails now and then with the upgrader's
  # output missing (about 2 runs in 11 here, cause not yet found); a test
  # that fails is run again, up to three times in all, so that a failure
  # that stays is still reported.
  run_tests windows --repeat until-pass:3
}

cmd_test() {
  ensure_packages
  build_release
  run_tests release
  echo "== package"
  "$ROOT/scripts/check-package.sh" "$(make_package)"
  run_windows
  build asan -DTIDEWELL_SANITIZE=address
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 run_tests asan
  # Qt is not instrumented: its own painting threads give false reports, so the
  # window and its tests are built and run in the plain and address builds only.
  build tsan -DTIDEWELL_SANITIZE=thread -DTIDEWELL_UI=OFF
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 run_tests tsan
  run_fuzzers
}

cmd_package() {
  ensure_packages
  build_release
  make_package
}

case "${1:-}" in
  main) cmd_main ;;
  test) cmd_test ;;
  package) cmd_package ;;
  fuzz) cmd_fuzz "${2:-}" ;;
  *)
    echo "usage: ./dev.sh main | test | package | fuzz [SECONDS]" >&2
    exit 2
    ;;
esac
