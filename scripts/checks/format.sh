#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks that every C and C++ source of the product, the tests, the tools and
# the benchmarks follows .clang-format and names its licence (SPDX line). With --fix it formats them in place.
# Only files git knows (or would add) are read, so build trees and generated
# sources stay out. A few seconds.
set -euo pipefail
cd "$(dirname "$0")/../.."
fix_command="bash scripts/checks/format.sh --fix"
command -v clang-format >/dev/null || {
  echo "clang-format is missing (scripts/setup.sh installs it)"
  exit 1
}
files=()
while IFS= read -r f; do
  [ -f "$f" ] && files+=("$f")
done < <(git ls-files -co --exclude-standard -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' | sort -u)
[ "${#files[@]}" -gt 0 ] || exit 0
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
drifting=()
for f in "${files[@]}"; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || drifting+=("$f")
done
if [ "${#drifting[@]}" -gt 0 ]; then
  echo "These files do not follow .clang-format:"
  printf '  %s\n' "${drifting[@]}"
  echo "Fix them with: $fix_command"
  exit 1
fi
unlicensed=()
for f in "${files[@]}"; do
  head -n 3 "$f" | grep -q 'SPDX-License-Identifier: MIT' || unlicensed+=("$f")
done
if [ "${#unlicensed[@]}" -gt 0 ]; then
  echo "These files lack the line '// SPDX-License-Identifier: MIT' at the top:"
  printf '  %s\n' "${unlicensed[@]}"
  exit 1
fi
echo "All ${#files[@]} C and C++ sources follow .clang-format and carry their licence line."
