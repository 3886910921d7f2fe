#!/usr/bin/env bash
# Checks that a Windows program built here starts on Windows XP: PE header versions, the
# subsystem, and every import against XP's system DLLs and a list of post-XP functions.
#
#   check-pe.sh EXE ARCH [gui|console]      ARCH: i686 (XP, 5.01) or x86_64 (XP x64, 5.02)
#
# Reports every problem found and exits 1 if there is any; on success prints one summary
# line, with the stripped size of the program.
set -uo pipefail

usage() { echo "usage: $0 EXE i686|x86_64 [gui|console]" >&2; exit 2; }
[ $# -ge 2 ] && [ $# -le 3 ] || usage
exe=$1 arch=$2 subsystem=${3:-gui}
case $arch in
  i686) want_version=5.01 want_magic=PE32 ;;
  x86_64) want_version=5.02 want_magic=PE32+ ;;
  *) usage ;;
esac
case $subsystem in
  gui) want_subsystem="Windows GUI" ;;
  console) want_subsystem="Windows CUI" ;;
  *) usage ;;
esac
here=$(cd "$(dirname "$0")" && pwd)
allow_file=$here/xp_system_dlls.txt
deny_file=$here/post_xp_functions.txt
objdump=$arch-w64-mingw32-objdump
strip=$arch-w64-mingw32-strip
name=$(basename "$exe")

problems=0
problem() { echo "$name: $*"; problems=$((problems + 1)); }

[ -f "$exe" ] || { echo "$name: no such file: $exe"; exit 1; }
dump=$("$objdump" -p "$exe") || { echo "$name: $objdump -p failed"; exit 1; }

# header FIELD: the value of a "Field<TAB>value" line of the PE header dump.
header() { awk -F'\t+' -v f="$1" '$1 == f { sub(/^[^\t]+\t+/, ""); print; exit }' <<<"$dump"; }
version() {  # version MAJOR_FIELD MINOR_FIELD -> "5.01"
  local major minor
  major=$(header "$1") minor=$(header "$2")
  [[ $major =~ ^[0-9]+$ && $minor =~ ^[0-9]+$ ]] || { echo "?"; return; }
  printf '%d.%02d' "$major" "$minor"
}

magic=$(header Magic | sed -n 's/.*(\(.*\)).*/\1/p')
[ "$magic" = "$want_magic" ] || problem "format is '$magic', expected $want_magic for $arch"
subsystem_version=$(version MajorSubsystemVersion MinorSubsystemVersion)
os_version=$(version MajorOSystemVersion MinorOSystemVersion)
[ "$subsystem_version" = "$want_version" ] ||
  problem "subsystem version $subsystem_version, expected $want_version"
[ "$os_version" = "$want_version" ] || problem "OS version $os_version, expected $want_version"
subsystem_text=$(header Subsystem | sed -n 's/.*(\(.*\)).*/\1/p')
[ "$subsystem_text" = "$want_subsystem" ] ||
  problem "subsystem '$subsystem_text', expected '$want_subsystem'"

# Delay-loaded imports do not appear in the import table below, so none may exist.
delay=$(awk '$1 == "Entry" && $2 == "d" { print $3 $4 }' <<<"$dump")
[[ $delay =~ ^0+$ ]] || problem "has delay-loaded imports (directory entry '$delay')"

# Imports as "dll<TAB>function" lines, DLL names in lower case; "<none>" marks an ordinal.
imports=$(awk '
  /^The Import Tables/ { inside = 1; next }
  inside && /^[^ \t]/ { inside = 0 }
  !inside { next }
  /^\tDLL Name: / { dll = tolower($3); print dll "\t"; next }
  dll != "" && /^\t[0-9a-f]+\t +[0-9]+ / { print dll "\t" ($3 == "" ? "<none>" : $3) }
' <<<"$dump")

mapfile -t allowed < <(grep -v '^#' "$allow_file" | awk 'NF { print tolower($1) }')
# Deny entries split once into scope (lower-case DLL, or empty for any DLL) and pattern.
mapfile -t denied < <(grep -v '^#' "$deny_file" | awk 'NF { print $1 }')
mapfile -t deny_scope < <(printf '%s\n' "${denied[@]}" | awk -F: 'NF > 1 { print tolower($1); next } { print "" }')
mapfile -t deny_pattern < <(printf '%s\n' "${denied[@]}" | awk -F: '{ print $NF }')
[ ${#allowed[@]} -gt 0 ] && [ ${#denied[@]} -gt 0 ] || { echo "$name: empty allow or deny list"; exit 1; }

declare -A seen_dll=()
functions=0
while IFS=$'\t' read -r dll fn; do
  [ -n "$dll" ] || continue
  if [ -z "${seen_dll[$dll]+x}" ]; then
    seen_dll[$dll]=1
    ok=0
    for a in "${allowed[@]}"; do [ "$dll" = "$a" ] && ok=1 && break; done
    [ $ok -eq 1 ] || problem "imports $dll, which is not a system DLL of Windows XP"
  fi
  [ -n "$fn" ] || continue
  functions=$((functions + 1))
  if [ "$fn" = "<none>" ]; then
    problem "imports by ordinal from $dll (cannot be checked)"
    continue
  fi
  for i in "${!denied[@]}"; do
    scope=${deny_scope[$i]}
    [ -z "$scope" ] || [ "$scope" = "$dll" ] || continue
    # shellcheck disable=SC2053  # the list entries are glob patterns
    if [[ $fn == ${deny_pattern[$i]} ]]; then
      problem "imports $dll!$fn, which Windows XP lacks (list entry '${denied[$i]}')"
      break
    fi
  done
done <<<"$imports"

# A program built here always imports from KERNEL32; finding none means the dump was not read.
[ -n "${seen_dll[kernel32.dll]+x}" ] && [ "$functions" -gt 0 ] ||
  problem "no KERNEL32 imports found in the objdump output (unreadable import table?)"

tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
if "$strip" -o "$tmp" "$exe" 2>/dev/null; then size=$(stat -c %s "$tmp"); else size="?"; fi

if [ $problems -gt 0 ]; then
  echo "$name: $problems problem(s)"
  exit 1
fi
dlls=$(printf '%s\n' "${!seen_dll[@]}" | sort | tr '\n' ' ')
echo "$name: $magic, $subsystem_text, subsystem $subsystem_version, OS $os_version;" \
  "$functions functions from ${dlls% }; none post-XP; stripped size $size bytes"
