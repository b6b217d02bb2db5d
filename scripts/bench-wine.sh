#!/usr/bin/env bash
# The Windows build under Wine against the Linux build, in one run: a whole
# upgrade of the released sizes (all seven regions, the simulated handset
# without a pause of its own), pinned to one core. The Linux figures come from
# bench_download_upgrade (wall time, mandated sleeps, round trips); the Wine run
# has the same sleeps and round trips, so its time beyond the sleeps per round
# trip is (wine wall - sleeps) / round trips. Prints both and their ratio.
# Needs ./dev.sh test's builds (build/release and build/windows).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BENCH=$(find "$ROOT/build/release" -name bench_download_upgrade -type f -perm -u+x | head -n 1)
[ -n "$BENCH" ] || { echo "bench_download_upgrade not built (./dev.sh test)" >&2; exit 2; }

json=$(mktemp)
trap 'rm -f "$json"' EXIT
taskset -c 1 "$BENCH" --benchmark_out="$json" --benchmark_out_format=json >/dev/null 2>&1
field() { python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['benchmarks'][0]['$1'])" "$json"; }
wall=$(field wall_s)
sleeps=$(field sleeps_s)
trips=$(field round_trips)

# The Wine run, through the end-to-end test's benchmark case.
out=$(cd "$ROOT/build/windows" && TIDEWELL_WINE_BENCH=1 taskset -c 1 ctest -R test_win32_endtoend -V \
  --test-timeout 1500 2>&1 | grep -o 'wine_wall_s=[0-9.]*' | head -n 1)
[ -n "$out" ] || { echo "the Wine run gave no figure" >&2; exit 1; }
wine=${out#wine_wall_s=}

python3 - "$wall" "$sleeps" "$trips" "$wine" <<'PY'
import sys
wall, sleeps, trips, wine = map(float, sys.argv[1:])
linux_trip = (wall - sleeps) * 1e6 / trips
wine_trip = (wine - sleeps) * 1e6 / trips
print(f"round trips {trips:.0f}, mandated sleeps {sleeps:.2f} s")
print(f"linux: wall {wall:.2f} s, beyond the sleeps {linux_trip:.1f} us per round trip")
print(f"wine:  wall {wine:.2f} s, beyond the sleeps {wine_trip:.1f} us per round trip")
print(f"ratio wine/linux: {wine_trip / linux_trip:.2f}")
PY
