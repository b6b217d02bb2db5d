#!/bin/sh
# Runs a test program with umockdev's preload library. In sanitizer builds the
# preload comes before the sanitizer runtime, which ASan would refuse.
ASAN_OPTIONS="verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export ASAN_OPTIONS
exec umockdev-wrapper "$@"
