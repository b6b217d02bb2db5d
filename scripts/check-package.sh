#!/usr/bin/env bash
# Checks a built Debian package: what it holds (the programs, udev rules, the
# ids file as a configuration file, desktop entry, icon, manual pages; no test
# or benchmark program), that the programs unpacked from it run, and that
# lintian finds no error.
#   scripts/check-package.sh build/release/package/tidewell_VERSION_ARCH.deb
set -euo pipefail
deb=$1
failed=0
fail() {
  echo "package check: $*" >&2
  failed=1
}

# 1. The files.
contents=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|')
for path in /usr/bin/tidewell /usr/bin/tidewell-tool /usr/bin/tidewell-sim \
  /usr/lib/udev/rules.d/70-tidewell.rules /etc/tidewell/usb-ids.conf \
  /usr/share/applications/tidewell.desktop \
  /usr/share/icons/hicolor/48x48/apps/tidewell.png /usr/share/icons/hicolor/256x256/apps/tidewell.png \
  /usr/share/man/man1/tidewell.1.gz /usr/share/man/man1/tidewell-tool.1.gz \
  /usr/share/man/man1/tidewell-sim.1.gz \
  /usr/share/doc/tidewell/copyright /usr/share/doc/tidewell/changelog.gz; do
  grep -qxF "$path" <<<"$contents" || fail "$path is missing"
done
if grep -E '(^|/)(test_|bench_|fuzz_)|_test$|_bench$|window-preview' <<<"$contents"; then
  fail "test or benchmark programs are in the package (above)"
fi
grep -qxF /etc/tidewell/usb-ids.conf < <(dpkg-deb --info "$deb" conffiles) ||
  fail "/etc/tidewell/usb-ids.conf is not a configuration file"
depends=$(dpkg-deb --field "$deb" Depends)
for library in libusb-1.0-0 libudev1 libqt6widgets6; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done

# 2. The programs, unpacked into a root of their own.
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
version=$(dpkg-deb --field "$deb" Version)
[ "$("$root/usr/bin/tidewell" --version)" = "tidewell $version" ] || fail "tidewell --version is not $version"
if ! "$root/usr/bin/tidewell" --headless --simulate >"$root/log" 2>"$root/progress"; then
  tail -n 20 "$root/progress" >&2
  fail "the unpacked tidewell --headless --simulate failed"
fi
grep -q "simulated handset verification: passed" "$root/progress" ||
  fail "the unpacked tidewell's simulated run was not verified"

# 3. lintian: errors fail, warnings are shown.
if ! lintian --fail-on error --tag-display-limit 0 "$deb"; then
  fail "lintian reports errors"
fi

[ "$failed" -eq 0 ] && echo "package check: $(basename "$deb") passed"
exit "$failed"
