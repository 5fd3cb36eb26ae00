#!/usr/bin/env bash
# Compiles every Windows platform file (*_windows.cpp) of the checkout with the
# MinGW-w64 cross compiler, syntax only and warnings as errors, and fails
# listing the files that did not compile.
#   scripts/windows_compile_check.sh
set -euo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"
root=$qlx_root
cd "$root"
cxx=x86_64-w64-mingw32-g++
qlx_need_tool "$cxx" g++-mingw-w64-x86-64

# Committed files and new ones not yet committed; outside a git checkout, the tree.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*_windows.cpp' | sort -u)
else
  mapfile -t files < <(find . -path ./build -prune -o -name '*_windows.cpp' -printf '%P\n' | sort)
fi
checked=()
for f in "${files[@]}"; do
  [ -f "$f" ] && checked+=("$f")
done
[ ${#checked[@]} -gt 0 ] || qlx_die "no *_windows.cpp files found below $root"

failed=()
for f in "${checked[@]}"; do
  "$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -Werror -DUNICODE -D_UNICODE -I"$root" -I"$root/tests" "$f" ||
    failed+=("$f")
done
echo "compiled ${#checked[@]} Windows files, ${#failed[@]} failed"
if [ ${#failed[@]} -gt 0 ]; then
  printf 'did not compile: %s\n' "${failed[@]}" >&2
  exit 1
fi
