#!/bin/sh
# Line coverage of the product code by the unit, quillpack and flow tests:
# a host build of its own (build/coverage) with clang's source-based
# coverage; prints llvm-cov's total line (regions, functions, lines, branches).
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build/coverage
flags="-fprofile-instr-generate -fcoverage-mapping"
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" >/dev/null
cmake --build "$build" -j2 --target unit_tests quillpack_tests flow_tests >/dev/null
rm -rf "$build/profiles"
for t in unit/unit_tests unit/quillpack_tests flows/flow_tests; do
    (cd "$build" && LLVM_PROFILE_FILE="$build/profiles/%p.profraw" "tests/$t" >/dev/null 2>&1) || true
done
llvm-profdata merge -o "$build/all.profdata" "$build"/profiles/*.profraw
cd "$root"
llvm-cov report "$build/tests/unit/unit_tests" -object "$build/tests/unit/quillpack_tests" \
    -object "$build/tests/flows/flow_tests" -instr-profile="$build/all.profdata" \
    $(git ls-files 'base/*.cpp' 'package/*.cpp' 'script/*.cpp' 'app/*.cpp' 'system/*.cpp' 'uninstall/*.cpp' \
      'tools/quillpack/*.cpp' | grep -v '_win\.cpp$') | tail -1
