#!/usr/bin/env bash
# Holds every C++ source of src/, tests/ and bench/ to .clang-format.
# `tools/check_format.sh --fix` rewrites them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(find src tests bench -name '*.cpp' -o -name '*.h' | sort)
if [[ ${1:-} == --fix ]]; then
  clang-format -i "${files[@]}"
  exit 0
fi
clang-format --dry-run -Werror "${files[@]}"
echo "${#files[@]} files keep to .clang-format"
