#!/bin/sh
# Runs a test program with umockdev's preload library. In sanitizer builds the
# preload comes before the sanitizer runtime, which ASan would refuse, and
# ThreadSanitizer is told which third-party races to pass over.
here=$(dirname "$0")
ASAN_OPTIONS="verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
TSAN_OPTIONS="suppressions=$here/tsan.supp${TSAN_OPTIONS:+:$TSAN_OPTIONS}"
export ASAN_OPTIONS TSAN_OPTIONS
exec umockdev-wrapper "$@"
