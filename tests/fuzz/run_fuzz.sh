#!/bin/sh
# Runs one fuzz target from its corpus, which it only reads, in a fresh folder
# that takes what it finds and the targets' scratch files and goes afterwards:
#   run_fuzz.sh FUZZER CORPUS ARTIFACTS SECONDS RUNS [libFuzzer options...]
# SECONDS "long" is $FUZZ_SECONDS (180 when unset); RUNS -1 for no limit.
set -eu
mkdir -p "$3"
fuzzer=$(realpath "$1") corpus=$(realpath "$2") artifacts=$(realpath "$3") seconds=$4 runs=$5
shift 5
[ "$seconds" = long ] && seconds=${FUZZ_SECONDS:-180}
# The tmpfs, unlike ext4, stays fast at the files the targets make and delete on every run.
[ -z "${TMPDIR:-}" ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Names that miss the package fall through to the current folder: this one.
cd "$work"
mkdir found
TMPDIR="$work" "$fuzzer" -max_total_time="$seconds" -runs="$runs" \
    -artifact_prefix="$artifacts/" -print_final_stats=1 "$@" found "$corpus"
