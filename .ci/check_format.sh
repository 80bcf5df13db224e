#!/usr/bin/env bash
# Checks that every C++ source follows .clang-format; lists the files that
# drift and how to mend them. Exits 1 when any file drifts.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null; then
    echo "format check: clang-format is not installed" >&2
    exit 1
fi
mapfile -t files < <(find gt tunnel svr app tests benchmarks -name '*.h' -o -name '*.cpp' 2>/dev/null | sort)
# One run over all files; each drifting file is named in a "file:line:col: error:" line.
mapfile -t drift < <(clang-format --dry-run -Werror "${files[@]}" 2>&1 | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: .*/\1/p' | sort -u)
if [ ${#drift[@]} -gt 0 ]; then
    echo "format check: ${#drift[@]} file(s) differ from .clang-format:"
    printf '  %s\n' "${drift[@]}"
    echo "mend with: clang-format -i ${drift[*]}"
    exit 1
fi
