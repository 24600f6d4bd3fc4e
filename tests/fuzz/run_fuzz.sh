#!/bin/sh
# Runs one fuzz target for a while on a fresh copy of its corpus, so that the
# inputs it finds never land in the source tree:
#   run_fuzz.sh FUZZER SEEDS KEPT ARTIFACTS SECONDS RUNS [libFuzzer options...]
# FUZZER   the fuzz target; its file name also names its seeds
# SEEDS    the fuzz_seeds program, which writes the generated seeds
# KEPT     tests/fuzz/corpus/<target>: inputs kept in the repository (may be absent)
# ARTIFACTS folder for the input of a crash or a broken check
# SECONDS, RUNS  stop after whichever comes first; RUNS -1 for no limit;
#          SECONDS "long" for $FUZZ_SECONDS (180 when unset)
set -eu
fuzzer=$1 seeds=$2 kept=$3 artifacts=$4 seconds=$5 runs=$6
shift 6
[ "$seconds" = long ] && seconds=${FUZZ_SECONDS:-180}
target=$(basename "$fuzzer")

# Some targets make and delete files on every run: where TMPDIR is not set,
# keep them on the tmpfs, which unlike ext4 stays fast at that.
tmp=${TMPDIR:-/tmp}
[ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ] && tmp=/dev/shm
work=$(mktemp -d "$tmp/quillfen-$target.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/tmp"
"$seeds" "$target" "$work/corpus" >/dev/null
if [ -d "$kept" ]; then
    for input in "$kept"/*; do
        [ -f "$input" ] && cp "$input" "$work/corpus/"
    done
fi
mkdir -p "$artifacts"
fuzzer=$(cd "$(dirname "$fuzzer")" && pwd)/$target
artifacts=$(cd "$artifacts" && pwd)

# Names that miss the package fall through to the current folder: make it
# an empty one. The targets keep their scratch files below TMPDIR.
cd "$work"
TMPDIR="$work/tmp" "$fuzzer" -max_total_time="$seconds" -runs="$runs" \
    -artifact_prefix="$artifacts/" -print_final_stats=1 "$@" "$work/corpus"
