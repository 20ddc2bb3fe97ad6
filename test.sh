#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: once in a
# normal build, from which it then packs the Debian package, once under
# AddressSanitizer and UndefinedBehaviorSanitizer with a short fuzzing run of
# the reply and block parsers.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure
cmake --build build --target package

CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DRURUZIDURA_SANITIZE=ON -DRURUZIDURA_FUZZ=ON
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure
