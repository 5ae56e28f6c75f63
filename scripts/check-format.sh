#!/usr/bin/env bash
# Fails when a C++ file of ours differs from what .clang-format makes of it.
# Each major release of clang-format lays some code out differently, so the
# check runs with the release the files are kept in, Debian 12's 14; with
# another one (Debian 13 has 19) it says so and passes.
set -euo pipefail
cd "$(dirname "$0")/.."
readonly kept_with=14
major=$(clang-format --version | sed -n 's/.*clang-format version \([0-9]*\).*/\1/p')
if [ "$major" != "$kept_with" ]; then
  echo "check-format: skipped: clang-format ${major:-?} here, the files are kept with $kept_with" >&2
  exit 0
fi
mapfile -t files < <(git ls-files -co --exclude-standard -- '*.h' '*.hpp' '*.cpp' '*.c' | grep -v '^build/' || true)
[ ${#files[@]} -eq 0 ] && exit 0
clang-format --dry-run --Werror "${files[@]}"
