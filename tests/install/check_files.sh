#!/usr/bin/env bash
# Checks of the files installed for the desktop and the package, each as its
# own test; a checking tool that is missing is a failure (scripts/deps
# installs every one).
# Usage: check_files.sh desktop SOURCE_DIR
#        check_files.sh mime SOURCE_DIR
#        check_files.sh man BUILD_DIR VERSION
#        check_files.sh changelog SOURCE_DIR VERSION
set -uo pipefail
what=$1
need() { command -v "$1" >/dev/null 2>&1 || { echo "FAIL: $1 is not installed (scripts/deps installs it)"; exit 1; }; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# The statistics types: model extension and MIME type, one per line.
types="vst application/x-statvtk-vtk0812
814 application/x-statvtk-vtk0814
ldn application/x-statvtk-ldn08"

case "$what" in
desktop)
  src=$2 entry="$2/packaging/linux/statvtk.desktop"
  need desktop-file-validate
  out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $out"
  [ -z "$out" ] || fail "desktop-file-validate has remarks: $out"
  grep -qx 'Exec=statvtk %f' "$entry" || fail "Exec must start statvtk with the file opened"
  grep -q '^Categories=.*Utility;.*Engineering;' "$entry" || fail "Categories must hold Utility and Engineering"
  for key in Name Comment GenericName; do
    grep -q "^$key=" "$entry" || fail "no English $key"
    grep -q "^$key\[ru\]=" "$entry" || fail "no Russian $key"
  done
  # The entry opens exactly the types the MIME file declares.
  declared=$(grep -o 'type="application/x-statvtk-[a-z0-9]*"' "$src/packaging/linux/statvtk-mime.xml" |
             cut -d'"' -f2 | sort | tr '\n' ';')
  listed=$(grep '^MimeType=' "$entry" | cut -d= -f2 | tr ';' '\n' | sed '/^$/d' | sort | tr '\n' ';')
  [ "$declared" = "$listed" ] || fail "MimeType ($listed) differs from the declared types ($declared)"
  ;;
mime)
  xml="$2/packaging/linux/statvtk-mime.xml"
  need xmllint
  need update-mime-database
  xmllint --noout "$xml" || fail "not well-formed XML"
  # What the desktop sees: the database built from this file alone.
  data=$(mktemp -d "${TMPDIR:-/tmp}/statvtk-mime-XXXXXX")
  trap 'rm -rf "$data"' EXIT
  db="$data/mime"
  mkdir -p "$db/packages" && cp "$xml" "$db/packages/statvtk.xml"
  out=$(XDG_DATA_DIRS="$data" update-mime-database "$db" 2>&1) || fail "update-mime-database: $out"
  [ -z "$out" ] || fail "update-mime-database has remarks: $out"
  while read -r ext type; do
    grep -qx "[0-9]*:$type:\*\.$ext" "$db/globs2" || fail "*.$ext is not $type in the database"
    for lang in "" ru; do
      if [ -z "$lang" ]; then
        n=$(xmllint --xpath "count(//*[local-name()='mime-type'][@type='$type']/*[local-name()='comment'][not(@xml:lang)])" "$xml")
      else
        n=$(xmllint --xpath "count(//*[local-name()='mime-type'][@type='$type']/*[local-name()='comment'][@xml:lang='$lang'])" "$xml")
      fi
      [ "$n" = 1 ] || fail "$type needs one ${lang:-English} comment, has $n"
    done
  done <<<"$types"
  [ "$(grep -c ':application/x-statvtk-' "$db/globs2")" = 3 ] || fail "expected exactly three globs"
  ;;
man)
  build=$2 version=$3
  need man
  for p in statvtk-cli statvtk-sim; do
    page="$build/share/man/$p.1"
    [ -f "$page" ] || { fail "no manual page $page"; continue; }
    grep -qF "\"StatVTK $version\"" "$page" || fail "$p.1 does not carry version $version"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$p.1 renders with warnings: $warnings"
    # Every option and command of the program's help is in its page.
    for opt in $("$build/$p" --help | grep -o '^ *--[a-z-]*' | tr -d ' ' | sort -u); do
      grep -qF -- "${opt//-/\\-}" "$page" || fail "$p.1 lacks $opt"
    done
    for cmd in $("$build/$p" --help | awk '/^Commands:/{on=1; next} /^$/{on=0} on {print $1}'); do
      grep -qw -- "$cmd" "$page" || fail "$p.1 lacks the command $cmd"
    done
  done
  ;;
changelog)
  src=$2 version=$3
  top=$(head -1 "$src/packaging/debian/changelog")
  [[ "$top" =~ ^statvtk\ \(([^\)]*)\)\  ]] || { fail "bad first line: $top"; exit 1; }
  [ "${BASH_REMATCH[1]}" = "$version" ] ||
    fail "packaging/debian/changelog is at ${BASH_REMATCH[1]}, the project at $version: add an entry"
  need dpkg-parsechangelog
  dpkg-parsechangelog -l "$src/packaging/debian/changelog" >/dev/null || fail "dpkg-parsechangelog rejects the changelog"
  ;;
*) echo "unknown check $what"; exit 2 ;;
esac
[ "$failures" = 0 ] && echo "$what: all checks passed"
[ "$failures" = 0 ]
