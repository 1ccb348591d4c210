#!/usr/bin/env bash
# tools/detect-32bit.sh on this machine and as a machine without 32-bit
# support would answer (ZARN_ASSUME_NO_32BIT=1): its answer matches whether a
# -m32 program runs here, and the emulator it names runs one.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'int main(void) { return sizeof(void*) == 4 ? 42 : 3; }\n' >"$work/probe.c"
gcc -m32 "$work/probe.c" -o "$work/probe" 2>/dev/null || { echo "skipped: gcc -m32 builds nothing here"; exit 77; }
native=no
status=0
"$work/probe" 2>/dev/null || status=$?
[ "$status" -ne 42 ] || native=yes

for assume in "" 1; do
  ZARN_RUNS_32BIT="" ZARN_M32_EMULATOR="" ZARN_NO_32BIT_REASON=""
  eval "$(ZARN_ASSUME_NO_32BIT=$assume "$root/tools/detect-32bit.sh")"
  want=$native
  [ -z "$assume" ] || want=no
  echo "ZARN_ASSUME_NO_32BIT=$assume: runs 32-bit: $ZARN_RUNS_32BIT (want $want); emulator: '$ZARN_M32_EMULATOR'; reason: $ZARN_NO_32BIT_REASON"
  [ "$ZARN_RUNS_32BIT" = "$want" ] || { echo "FAIL: the answer"; exit 1; }
  if [ "$want" = yes ]; then
    [ -z "$ZARN_M32_EMULATOR$ZARN_NO_32BIT_REASON" ] || { echo "FAIL: an emulator or a reason where none is needed"; exit 1; }
    continue
  fi
  [ -n "$ZARN_NO_32BIT_REASON" ] || { echo "FAIL: no reason given"; exit 1; }
  IFS=';' read -r -a emulator <<<"$ZARN_M32_EMULATOR"
  status=0
  "${emulator[@]}" "$work/probe" || status=$?
  [ "$status" -eq 42 ] || { echo "FAIL: the emulator ran the probe with status $status"; exit 1; }
done
