#!/usr/bin/env bash
# Fails when a shared library's dynamic symbol table holds anything but its
# contract.
#   check-exports.sh <library> <export list>
# The list names one symbol a line, mangled or as c++filt prints it; a
# trailing " ?" marks a symbol that may be absent. '#' starts a comment.
set -euo pipefail
lib=$1
list=$2
[ -f "$lib" ] || { echo "check-exports: no library $lib" >&2; exit 2; }
[ -f "$list" ] || { echo "check-exports: no list $list" >&2; exit 2; }

# Symbols the linker and the sanitizer runtime add to every shared object.
toolchain='^(_init|_fini|__bss_start|_edata|_end|__data_start|__odr_asan_gen_.*|___asan_globals_registered)$'

declare -A allowed=() required=() seen=()
while IFS= read -r line; do
  line=${line%%#*}
  line=$(sed -e 's/[[:space:]]*$//' -e 's/^[[:space:]]*//' <<<"$line")
  [ -n "$line" ] || continue
  if [[ $line == *" ?" ]]; then
    allowed[${line% ?}]=1
  else
    allowed[$line]=1
    required[$line]=1
  fi
done <"$list"

mapfile -t mangled < <(nm -D --defined-only "$lib" | awk 'NF >= 3 { print $3 }' | sed 's/@.*//' | sort -u)
status=0
for m in "${mangled[@]}"; do
  [[ $m =~ $toolchain ]] && continue
  d=$(c++filt <<<"$m")
  if [ -n "${allowed[$m]:-}" ]; then
    seen[$m]=1
  elif [ -n "${allowed[$d]:-}" ]; then
    seen[$d]=1
  else
    echo "check-exports: $(basename "$lib") exports $d ($m), which is not in $(basename "$list")"
    status=1
  fi
done
for r in "${!required[@]}"; do
  if [ -z "${seen[$r]:-}" ]; then
    echo "check-exports: $(basename "$lib") lacks $r"
    status=1
  fi
done
[ $status = 0 ] && echo "check-exports: $(basename "$lib") exports exactly its contract (${#seen[@]} symbols)"
exit $status
