#!/usr/bin/env bash
# scripts/deb-src-entries.sh on sample apt entries in both forms.
set -u
script=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/debian.sources" <<'IN'
Types: deb
# a comment inside the stanza
URIs: http://mirror.example/debian
Suites: bookworm bookworm-updates
Components: main contrib
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://mirror.example/debian-security
Suites: bookworm-security
Components: main
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mQINBF
 -----END PGP PUBLIC KEY BLOCK-----

Types: deb deb-src
URIs: http://mirror.example/already
Suites: bookworm
Components: main

Types: deb
URIs: http://mirror.example/debian
Suites: trixie
Components: main

Types: deb
Enabled: no
URIs: http://mirror.example/off
Suites: bookworm
Components: main

Types: deb
URIs: https://vendor.example/node
Suites: nodistro
Components: main
IN
cat >"$work/sources.list" <<'IN'
# deb http://mirror.example/commented bookworm main
deb [arch=amd64 signed-by=/etc/apt/keyrings/x.gpg] http://mirror.example/debian bookworm-backports main non-free
deb http://mirror.example/plain bookworm main   # trailing comment
deb-src http://mirror.example/plain bookworm main
deb https://vendor.example/apt cloud-sdk-bookworm main
IN
cat >"$work/expected" <<'OUT'
Types: deb-src
URIs: http://mirror.example/debian
Suites: bookworm bookworm-updates
Components: main contrib
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://mirror.example/debian-security
Suites: bookworm-security
Components: main
Signed-By: 
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mQINBF
 -----END PGP PUBLIC KEY BLOCK-----

Types: deb-src
URIs: http://mirror.example/debian
Suites: bookworm-backports
Components: main non-free
Signed-By: /etc/apt/keyrings/x.gpg

Types: deb-src
URIs: http://mirror.example/plain
Suites: bookworm
Components: main
OUT
bash "$script" bookworm "$work/debian.sources" "$work/sources.list" "$work/missing.list" >"$work/got" || exit 1
if ! diff -u "$work/expected" "$work/got"; then
  echo "deb-src entries differ"
  exit 1
fi
# Nothing of another release.
[ -z "$(bash "$script" bullseye "$work/debian.sources" "$work/sources.list")" ] || { echo "bullseye gave entries"; exit 1; }
echo "deb-src entries: ok"
