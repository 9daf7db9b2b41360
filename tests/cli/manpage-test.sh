#!/usr/bin/env bash
# A manual page against its program: every option the program's --help
# names is in the page, and man renders the page without a warning.
# Usage: manpage-test.sh PAGE PROGRAM
set -uo pipefail
page=$1
program=$2
failed=0
named=$("$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u)
if [[ -z $named ]]; then
    echo "$program --help names no option"
    exit 1
fi
# The page's text with roff's escaped hyphens made plain.
text=$(sed 's/\\-/-/g' "$page")
for option in $named; do
    if ! grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" <<< "$text"; then
        echo "$page does not name $option"
        failed=1
    fi
done
if command -v man >/dev/null 2>&1; then
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    if [[ -n $warnings ]]; then
        echo "man warns of $page: $warnings"
        failed=1
    fi
fi
exit $failed
