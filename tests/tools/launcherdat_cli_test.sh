#!/usr/bin/env bash
# The packer's command line: create, list, extract and check on a real folder.
set -u
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fails=0
expect() {  # expect DESCRIPTION CONDITION...
  local what=$1; shift
  if "$@"; then :; else echo "FAIL: $what"; fails=$((fails + 1)); fi
}

mkdir -p src/Launcher src/img
printf 'L,640,480\nimg,img/bg.bin,0,0\nbtn,Go,10,20,game.exe -x,1\n' > src/Launcher/Launcher.csv
head -c 70000 /dev/urandom > src/img/bg.bin
head -c 10 /dev/urandom > src/notes.txt

expect "create succeeds" "$tool" create out.dat src --plain 'img/*'
expect "create leaves no temporary files" test "$(ls | grep -c tmp)" -eq 0
"$tool" list out.dat > list.txt
expect "list prints one line per entry" test "$(wc -l < list.txt)" -eq 3
expect "list names the layout's picture unscrambled" grep -qP '\t70000\t0\timg/bg.bin$' list.txt
expect "list gives an unknown name as -" grep -qP '\t-$' list.txt
"$tool" list out.dat --names src > named.txt
expect "names from a folder match every entry" test "$(grep -c -P '\t-$' named.txt)" -eq 0
expect "extract succeeds" "$tool" extract out.dat ex
expect "extracted picture is byte-identical" cmp -s ex/img/bg.bin src/img/bg.bin
expect "extracted layout is byte-identical" cmp -s ex/Launcher/Launcher.csv src/Launcher/Launcher.csv
expect "extract by name" "$tool" extract out.dat one notes.txt
expect "named resource is byte-identical" cmp -s one/notes.txt src/notes.txt
expect "extract of a missing name fails" bash -c "! '$tool' extract out.dat x nope.bin 2>/dev/null"

# What a drop onto the program does: a folder as the only argument is packed into Launcher.dat
# beside it (as create would) and checked; a packed file is checked.
# (img/bg.bin is no picture, so the check finds a problem.)
"$tool" src </dev/null >drop.txt 2>&1
expect "a dropped folder's check reports the problem" test $? -eq 1
"$tool" create default.dat src
expect "a dropped folder gives create's bytes" cmp -s Launcher.dat default.dat
expect "a dropped folder is checked" grep -q 'row 1: picture "img/bg.bin": no decoder accepts' drop.txt
expect "two dropped at once are refused" bash -c "'$tool' src out.dat </dev/null 2>&1 | grep -q 'one folder or one packed file at a time'"

expect "no-magic, no-scramble archive" "$tool" create plain.dat src --no-magic --no-scramble
expect "plain archive has no magic" test "$(head -c 4 plain.dat)" != "ACV1"
expect "plain archive extracts" "$tool" extract plain.dat ex2 img/bg.bin
expect "plain archive bytes" cmp -s ex2/img/bg.bin src/img/bg.bin

# check: the picture decodes only if the library knows its format, so check a layout problem.
printf 'L,640,480\nbtn,Go,80px,20\nwhat,1\n' > src/Launcher/Launcher.csv
"$tool" create bad.dat src
out=$("$tool" check bad.dat)
status=$?
expect "check fails on problems" test "$status" -ne 0
expect "check reports the row of 80px" grep -q ':2: row 1: x "80px" is read as 8250' <<<"$out"
expect "check reports the unsupported kind" grep -q 'row 2: unsupported row kind "what"' <<<"$out"
out=$("$tool" bad.dat </dev/null)
expect "a dropped packed file is checked" test $? -ne 0
expect "the dropped file's problems are shown" grep -q ':2: row 1: x "80px" is read as 8250' <<<"$out"

expect "bad command exits nonzero" bash -c "! '$tool' frobnicate 2>/dev/null"
expect "missing folder exits nonzero" bash -c "! '$tool' create x.dat nowhere 2>/dev/null"
expect "no partial output after failure" test ! -e x.dat
expect "help exits 0" "$tool" create --help
expect "--version prints the project's version" grep -qE '^launcherdat [0-9]+\.[0-9]+\.[0-9]+$' <<<"$("$tool" --version)"
expect "bad option exits nonzero" bash -c "! '$tool' list out.dat --bogus 2>/dev/null"
expect "list of a non-archive file works without crashing" bash -c "'$tool' list src/notes.txt >/dev/null 2>&1; test \$? -le 1"

# A file whose size can't be read (its folder can be listed but not searched) is reported,
# not packed with a size of 2^64 - 1. Permissions bind only a user other than root.
as_user() {
  if [ "$(id -u)" -ne 0 ]; then "$@"; else setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; fi
}
# Not for the Windows program under Wine (TOOL_UNDER_WINE set): the Wine prefix belongs to the
# user who runs the tests, and Windows has no such folder.
if [ -n "${TOOL_UNDER_WINE:-}" ]; then
  echo "skipped: the unreadable-size case is for the Linux tool"
elif [ "$(id -u)" -ne 0 ] || command -v setpriv >/dev/null; then
  mkdir -p nosize/src/locked && printf 'x' > nosize/src/locked/a.bin && printf 'y' > nosize/src/b.bin
  chmod 0755 "$work" && chmod 0777 nosize && chmod 0444 nosize/src/locked
  err=$(as_user "$tool" create nosize/out.dat nosize/src 2>&1)
  status=$?
  expect "an unreadable size fails create" test "$status" -ne 0
  expect "the file is named" grep -q 'locked/a.bin: can.t read its size' <<<"$err"
  expect "no output after an unreadable size" test ! -e nosize/out.dat
  chmod 0755 nosize/src/locked
else
  echo "skipped: the unreadable-size case needs setpriv when run as root"
fi

echo "launcherdat cli: $fails failure(s)"
[ "$fails" -eq 0 ]
