#!/usr/bin/env bash
# Prints deb-src twins of the apt entries for one Debian release, in the deb822 form of
# sources.list.d/*.sources: the same URIs, suites, components and Signed-By as each "deb"
# entry that names a suite of that release (CODENAME, or CODENAME-something). Entries that
# already have deb-src, that are disabled, or that belong to other releases or other
# vendors' repositories are left out.
#   deb-src-entries.sh CODENAME FILE...   (FILE: *.sources, *.list or sources.list)
set -euo pipefail
codename=${1:?usage: deb-src-entries.sh CODENAME FILE...}
shift
for f in "$@"; do
  [ -f "$f" ] || continue
  case "$f" in
    *.sources) format=deb822 ;;
    *) format=oneline ;;
  esac
  awk -v codename="$codename" -v format="$format" '
    function ours(suites,   n, s, i) {
      n = split(suites, s, /[ \t]+/)
      for (i = 1; i <= n; i++)
        if (s[i] == codename || index(s[i], codename "-") == 1) return 1
      return 0
    }
    function emit(uris, suites, components, signedBy) {
      print ""
      print "Types: deb-src"
      print "URIs: " uris
      print "Suites: " suites
      if (components != "") print "Components: " components
      if (signedBy != "") print "Signed-By: " signedBy
    }
    function trim(s) { sub(/^[ \t]+/, "", s); sub(/[ \t]+$/, "", s); return s }
    # deb822: stanzas split by blank lines; a line starting with blank continues the field.
    function flush(   types) {
      types = " " field["types"] " "
      if (field["types"] != "" && index(types, " deb ") && !index(types, " deb-src ") &&
          tolower(field["enabled"]) != "no" && ours(field["suites"]))
        emit(field["uris"], field["suites"], field["components"], field["signed-by"])
      delete field
      last = ""
    }
    format == "deb822" {
      if ($0 ~ /^#/) next
      if ($0 ~ /^[ \t]*$/) { flush(); next }
      if ($0 ~ /^[ \t]/ && last != "") { field[last] = field[last] "\n" $0; next }
      colon = index($0, ":")
      if (!colon) next
      last = tolower(trim(substr($0, 1, colon - 1)))
      field[last] = trim(substr($0, colon + 1))
      next
    }
    # One-line form: deb [options] URI SUITE COMPONENT...
    format == "oneline" {
      line = $0
      sub(/#.*/, "", line)
      if (trim(line) == "") next
      n = split(trim(line), w, /[ \t]+/)
      if (w[1] != "deb") next
      i = 2
      signedBy = ""
      if (substr(w[2], 1, 1) == "[") {
        for (; i <= n; i++) {
          option = w[i]
          gsub(/[\[\]]/, "", option)
          if (index(option, "signed-by=") == 1) signedBy = substr(option, 11)
          if (index(w[i], "]")) { i++; break }
        }
      }
      if (i + 1 > n || !ours(w[i + 1])) next
      components = ""
      for (k = i + 2; k <= n; k++) components = components (components == "" ? "" : " ") w[k]
      emit(w[i], w[i + 1], components, signedBy)
    }
    END { if (format == "deb822") flush() }
  ' "$f"
done | sed '1{/^$/d}'  # stanzas are separated by one blank line
