#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR (prefix /usr), moves the tree
# elsewhere, and runs the installed programs from there: --version, a read
# from the installed simulator over loopback TCP, and a report made from the
# installed templates with a fresh program home that has no Templates/.
# Usage: installed_programs.sh CMAKE BUILD_DIR VERSION DESKTOP(0|1) MANPAGES(0|1)
set -uo pipefail
cmake_bin=$1 build=$2 version=$3 desktop=$4 manpages=$5

tmp=$(mktemp -d "${TMPDIR:-/tmp}/statvtk-install-XXXXXX")
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill -INT "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_file() { [ -f "$1" ] || fail "not installed: ${1#"$tmp"/}"; }

DESTDIR="$tmp/stage" "$cmake_bin" --install "$build" --prefix /usr >"$tmp/install.log" 2>&1 ||
  { cat "$tmp/install.log"; echo "FAIL: cmake --install"; exit 1; }
# Wherever the tree lands, the programs must find their files.
mkdir -p "$tmp/moved"
mv "$tmp/stage/usr" "$tmp/moved/statvtk"
root=$(cd "$tmp/moved/statvtk" && pwd -P)

for f in bin/statvtk-cli bin/statvtk-sim share/mime/packages/statvtk.xml \
         share/doc/statvtk/README.md share/doc/statvtk/cli.md share/doc/statvtk/copyright \
         share/doc/statvtk/changelog.gz share/doc/statvtk/README.Debian; do
  expect_file "$root/$f"
done
for name in VTK0812 VTK0814 VTK0814_no_T LDN; do
  for kind in h d; do expect_file "$root/share/statvtk/Templates/${name}_${kind}.xlsx"; done
done
if [ "$manpages" = 1 ]; then
  for p in statvtk-cli statvtk-sim statvtk-collect; do expect_file "$root/share/man/man1/$p.1.gz"; done
fi
# The collector's service: its unit names the installed program and the
# system user the package makes.
if [ -f "$root/bin/statvtk-collect" ]; then
  unit="$root/lib/systemd/system/statvtk-collect.service"
  expect_file "$unit"
  expect_file "$root/lib/sysusers.d/statvtk.conf"
  if [ -f "$unit" ]; then
    grep -qx 'Type=notify' "$unit" || fail "the unit is not Type=notify"
    grep -qx 'ExecStart=/usr/bin/statvtk-collect run --home /var/lib/statvtk' "$unit" ||
      fail "the unit does not run the installed statvtk-collect"
    grep -q '^User=statvtk$' "$unit" && grep -q '^SupplementaryGroups=dialout$' "$unit" ||
      fail "the unit does not run as statvtk in dialout"
  fi
  grep -q '^m statvtk dialout$' "$root/lib/sysusers.d/statvtk.conf" 2>/dev/null ||
    fail "sysusers.d does not put statvtk in dialout"
  if ! command -v systemd-analyze >/dev/null 2>&1; then
    fail "systemd-analyze is not installed (scripts/deps installs it)"
  elif [ -f "$unit" ]; then
    # The unit's own syntax (the program is checked at its installed place above).
    sed "s|/usr/bin/statvtk-collect|$root/bin/statvtk-collect|" "$unit" >"$tmp/statvtk-collect.service"
    systemd-analyze verify --man=no "$tmp/statvtk-collect.service" >"$tmp/verify.log" 2>&1 ||
      { cat "$tmp/verify.log"; fail "systemd-analyze verify"; }
    # Its confinement: an exposure of at most 2.5 (the threshold is in tenths).
    systemd-analyze security --offline=true --threshold=25 "$tmp/statvtk-collect.service" >"$tmp/security.log" 2>&1 ||
      { tail -n 40 "$tmp/security.log"; fail "systemd-analyze security rates the unit above 2.5"; }
  fi
fi
if [ "$desktop" = 1 ]; then
  for f in bin/statvtk share/applications/statvtk.desktop share/icons/hicolor/scalable/apps/statvtk.svg \
           share/man/man1/statvtk.1.gz; do
    expect_file "$root/$f"
  done
fi

for p in statvtk-cli statvtk-sim; do
  got=$("$root/bin/$p" --version 2>&1)
  [ "$got" = "$p (StatVTK) $version" ] || fail "$p --version printed '$got', expected '$p (StatVTK) $version'"
done

"$root/bin/statvtk-sim" --model 0812 --seed 42 --tcp 0 >"$tmp/sim.out" 2>"$tmp/sim.err" &
sim_pid=$!
port=""
for _ in $(seq 600); do  # up to a minute
  port=$(grep -o 'tcp 127\.0\.0\.1:[0-9]*' "$tmp/sim.out" 2>/dev/null | cut -d: -f2)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { cat "$tmp/sim.err"; echo "FAIL: the installed simulator did not start"; exit 1; }

home="$tmp/home"
export STATVTK_HOME="$home"
timeout 120 "$root/bin/statvtk-cli" read --tcp "127.0.0.1:$port" --all --hourly --daily \
  >"$tmp/read.out" 2>"$tmp/read.err" || { cat "$tmp/read.err"; fail "installed statvtk-cli read"; }
file=$(tail -1 "$tmp/read.out")
case "$file" in
  "$home"/Data/*.vst) [ -s "$file" ] || fail "empty statistics file $file" ;;
  *) fail "read wrote '$file', not a .vst file in the home's Data/" ;;
esac

# The newest day with all 24 hourly records.
day=$(timeout 60 "$root/bin/statvtk-cli" show "$file" |
      awk '/^Часовые записи/{on=1; next} /^$/{on=0} on {n[$3]++; if (n[$3] == 24) d=$3} END {print d}')
[ -n "$day" ] || fail "no complete day in $file"

[ -e "$home/Templates" ] && fail "the home must have no Templates/ for this check"
report=$(timeout 60 "$root/bin/statvtk-cli" report "$file" --day "$day" 2>"$tmp/report.err") ||
  { cat "$tmp/report.err"; fail "installed statvtk-cli report"; }
case "$report" in
  "$home"/Reports/*.xlsx)
    unzip -tq "$report" >/dev/null 2>&1 || fail "the report $report is not a whole workbook"
    cmp -s "$report" "$root/share/statvtk/Templates/VTK0812_h.xlsx" && fail "the report is the bare template" ;;
  *) fail "report wrote '$report', not an .xlsx in the home's Reports/" ;;
esac

# Without the installed template the report fails, naming where it looked
# (the installed folder beside the program, never the build tree).
rm "$root/share/statvtk/Templates/VTK0812_h.xlsx"
if timeout 60 "$root/bin/statvtk-cli" report "$file" --day "$day" >/dev/null 2>"$tmp/missing.err"; then
  fail "a report without its template succeeded (build tree templates used by an installed program?)"
else
  grep -qF "$root/share/statvtk/Templates/VTK0812_h.xlsx" "$tmp/missing.err" ||
    fail "the failure does not name the installed template folder: $(cat "$tmp/missing.err")"
  grep -qF "$build" "$tmp/missing.err" && fail "an installed program looked in the build tree: $(cat "$tmp/missing.err")"
fi

[ "$failures" = 0 ] && echo "installed programs: all checks passed"
[ "$failures" = 0 ]
