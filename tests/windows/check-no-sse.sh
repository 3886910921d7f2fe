#!/usr/bin/env bash
# Checks that static libraries for the i686 build hold no MMX/SSE/AVX instructions outside
# the SIMD code that libjpeg-turbo selects at run time, so the program runs on processors
# without SSE2 (and without SSE or MMX).
#
#   check-no-sse.sh ARCHIVE...
#
# Members named after an instruction set (libjpeg-turbo's NAME-sse2.asm.obj, -mmx, -3dn, -avx2;
# our own sources by the same rule, e.g. resize_sse2.cpp) are skipped: their code is called
# only after asking the processor (CPUID). Every other object must be plain x87/integer code.
set -uo pipefail
[ $# -gt 0 ] || { echo "usage: $0 ARCHIVE..." >&2; exit 2; }
objdump=i686-w64-mingw32-objdump
failed=0
for archive in "$@"; do
  name=$(basename "$archive")
  [ -f "$archive" ] || { echo "$name: no such file: $archive"; failed=1; continue; }
  report=$("$objdump" -d "$archive" | awk '
    / file format / { member = $1; sub(/:$/, "", member); members++
                      dispatched = member ~ /[-_](mmx|3dn|sse[0-9_]*|ssse3|avx[0-9a-z]*)\.[a-z]+\.obj$/
                      if (dispatched) skipped++
                      next }
    !dispatched && /%[xyz]?mm[0-9]/ {
      if (!(member in bad)) { bad[member] = $0; order[n++] = member }
      count[member]++ }
    END {
      for (i = 0; i < n; i++) {
        m = order[i]; line = bad[m]; gsub(/[ \t]+/, " ", line)
        printf "BAD %s: %d vector instructions, first:%s\n", m, count[m], line }
      printf "SUMMARY %d %d %d\n", members, skipped, n }')
  summary=$(grep '^SUMMARY' <<<"$report")
  read -r _ members skipped bad <<<"$summary"
  if [ "${members:-0}" -eq 0 ]; then
    echo "$name: no object files disassembled"; failed=1
  elif [ "$bad" -gt 0 ]; then
    grep '^BAD' <<<"$report" | sed "s/^BAD /$name: /"
    failed=1
  else
    echo "$name: $members objects, no vector instructions ($skipped run-time dispatched SIMD objects skipped)"
  fi
done
exit $failed
