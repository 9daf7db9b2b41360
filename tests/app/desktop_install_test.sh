#!/bin/sh
# Installs the project from a build folder into a scratch folder and checks
# what makes the dialog program a desktop program: the menu entry, the
# AppStream metainfo, the helper's polkit action, the command on the PATH and
# the icons.
#
# Usage: desktop_install_test.sh BUILD_DIR SCRATCH_DIR
# Exits 77 (skipped) when a checking tool is missing. $CMAKE names the cmake
# to install with (default: cmake from PATH).
set -eu

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR SCRATCH_DIR" >&2
  exit 2
fi
cmake=${CMAKE:-cmake}

# The Debian package of each tool, for the message.
for tool in desktop-file-validate:desktop-file-utils appstreamcli:appstream xmllint:libxml2-utils; do
  name=${tool%%:*}
  if ! command -v "$name" >/dev/null 2>&1; then
    echo "skipped: $name is not installed (Debian package ${tool#*:})"
    exit 77
  fi
done

# Full paths: the installed files hold them.
build=$(cd "$1" && pwd)
mkdir -p "$2"
scratch=$(cd "$2" && pwd)

# As in app/desktop/CMakeLists.txt and the top-level JEX_INSTALL_DIR.
id=org.example.JexFileRecovery
prefix=$scratch/usr
program=$prefix/lib/jexfilerecovery/JexFileRecovery
helper=$prefix/lib/jexfilerecovery/jexfilerecovery-open
launcher=$prefix/bin/jexfilerecovery
desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
policy=$prefix/share/polkit-1/actions/$id.policy

# Only what this script makes is removed.
rm -rf "$prefix" "$scratch/registry" "$scratch/config" "$scratch/state"
# The install runs the installed jexsetup-language: it must find no
# variable store or log of the user's.
JEXVARS_REGISTRY=$scratch/registry
XDG_CONFIG_HOME=$scratch/config
XDG_STATE_HOME=$scratch/state
export JEXVARS_REGISTRY XDG_CONFIG_HOME XDG_STATE_HOME

# With a "desktop" install component only that is installed; the project
# declares none now, so everything is.
if grep -qs 'CMAKE_INSTALL_COMPONENT STREQUAL "desktop"' "$build/cmake_install.cmake" "$build"/app/desktop/cmake_install.cmake; then
  whole=false
  "$cmake" --install "$build" --prefix "$prefix" --component desktop >"$scratch/install.log" 2>&1
else
  whole=true
  "$cmake" --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1
fi || {
  cat "$scratch/install.log"
  echo "FAIL: cmake --install"
  exit 1
}

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Runs a validator; any error or warning in its report fails.
validate() {
  what=$1
  shift
  if ! "$@" >"$scratch/report" 2>&1; then
    cat "$scratch/report"
    fail "$what"
  elif grep -Eq '(^[EW]: |error: |warning: )' "$scratch/report"; then
    cat "$scratch/report"
    fail "$what reports a problem"
  fi
}

# The value of a key in the menu entry.
entry() {
  sed -n "s/^$1=//p" "$desktop"
}

# The text of an XPath expression in an XML file.
xpath() {
  xmllint --xpath "$2" "$1" 2>/dev/null || true
}

for file in "$desktop" "$metainfo" "$policy"; do
  [ -f "$file" ] || fail "$file is not installed"
done
if [ "$failures" -ne 0 ]; then
  cat "$scratch/install.log"
  exit 1
fi

validate "desktop-file-validate $desktop" desktop-file-validate "$desktop"
validate "appstreamcli validate $metainfo" appstreamcli validate --no-net "$metainfo"
validate "xmllint $policy" xmllint --noout "$policy"
if [ -f /usr/share/polkit-1/policyconfig-1.dtd ]; then
  validate "$policy against polkit's DTD" xmllint --noout --dtdvalid /usr/share/polkit-1/policyconfig-1.dtd "$policy"
fi

# The menu entry starts the program itself, as the user; so does the
# command on the PATH.
exec_line=$(entry Exec)
if [ "$exec_line" != "$program %F" ] && [ "$exec_line" != "\"$program\" %F" ]; then
  fail "Exec is \"$exec_line\", not the program $program with %F"
fi
[ "$(entry TryExec)" = "$program" ] || fail "TryExec is not $program"
[ -L "$launcher" ] && [ "$(readlink "$launcher")" = "../lib/jexfilerecovery/JexFileRecovery" ] \
  || fail "$launcher is not a link to the program"

# One id throughout.
[ "$(entry Icon)" = "$id" ] || fail "Icon is not $id"
[ "$(xpath "$metainfo" 'string(/component/id)')" = "$id" ] || fail "the metainfo's id is not $id"
[ "$(xpath "$metainfo" 'string(/component/launchable[@type="desktop-id"])')" = "$id.desktop" ] \
  || fail "the metainfo's launchable is not $id.desktop"

# Icons at every size, PNGs of the size their folder says.
for size in 16 32 48; do
  png=$prefix/share/icons/hicolor/${size}x$size/apps/$id.png
  if [ ! -f "$png" ]; then
    fail "$png is not installed"
    continue
  fi
  # Bytes 16 to 23 of a PNG: its width and height, big-endian.
  dimensions=$(od -An -tu1 -j16 -N8 "$png" | tr -s ' \n' '  ')
  [ "$dimensions" = " 0 0 0 $size 0 0 0 $size " ] || fail "$png is not $size by $size pixels"
done
svg=$prefix/share/icons/hicolor/scalable/apps/$id.svg
[ -f "$svg" ] || fail "$svg is not installed"
[ ! -f "$svg" ] || xmllint --noout "$svg" || fail "$svg is not well-formed"

# pkexec runs only the installed helper, and never a window: no display is
# kept for it.
exec_path=$(xpath "$policy" 'string(//annotate[@key="org.freedesktop.policykit.exec.path"])')
[ "$exec_path" = "$helper" ] || fail "the policy's exec.path is \"$exec_path\", not $helper"
allow_gui=$(xpath "$policy" 'string(//annotate[@key="org.freedesktop.policykit.exec.allow_gui"])')
[ -z "$allow_gui" ] || fail "the policy keeps the display for the helper"
[ "$(xpath "$policy" 'string(//action/@id)')" = "$id.open-device" ] || fail "the policy's action is not $id.open-device"
if $whole; then
  [ -x "$program" ] || fail "$program is not installed"
  [ -x "$helper" ] || fail "$helper is not installed"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "the desktop files install and validate"
