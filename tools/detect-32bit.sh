#!/usr/bin/env bash
# Says how this machine runs 32-bit x86 programs: builds a tiny -m32 program
# and runs it. Prints shell assignments for `eval`:
#
#   ZARN_RUNS_32BIT      yes, or no (a kernel without 32-bit support:
#                        "Exec format error")
#   ZARN_M32_EMULATOR    empty, or the command that runs a 32-bit program
#                        there (qemu-i386 from qemu-user), as a CMake list
#                        for the m32 preset's CMAKE_CROSSCOMPILING_EMULATOR
#   ZARN_NO_32BIT_REASON why not, in words (empty when yes)
#
# ZARN_ASSUME_NO_32BIT=1 answers as a machine without 32-bit support would,
# so that path can be tried on a machine that has it. Exits 1 when 32-bit
# programs run neither natively nor through the emulator.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'int main(void) { return sizeof(void*) == 4 ? 0 : 3; }\n' >"$work/probe.c"
if ! gcc -m32 "$work/probe.c" -o "$work/probe" 2>"$work/build.log"; then
  cat "$work/build.log" >&2
  echo "detect-32bit: cannot build a -m32 program (is g++-multilib installed?)" >&2
  exit 1
fi

runs=yes
reason=""
if [ "${ZARN_ASSUME_NO_32BIT:-}" = 1 ]; then
  runs=no
  reason="ZARN_ASSUME_NO_32BIT=1"
elif ! "$work/probe" 2>"$work/run.log"; then
  runs=no
  reason="this kernel runs no 32-bit programs ($(sed 's/.*: //' "$work/run.log" | tail -n 1))"
fi

emulator=""
if [ "$runs" = no ]; then
  qemu=$(command -v qemu-i386 || true)
  if [ -z "$qemu" ] || ! "$qemu" -L / "$work/probe"; then
    echo "detect-32bit: $reason, and qemu-i386 -L / does not run one either (is qemu-user installed?)" >&2
    exit 1
  fi
  emulator="$qemu;-L;/"
fi
printf 'ZARN_RUNS_32BIT=%q\nZARN_M32_EMULATOR=%q\nZARN_NO_32BIT_REASON=%q\n' "$runs" "$emulator" "$reason"
