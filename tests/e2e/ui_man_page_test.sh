#!/bin/sh
# Formats the window program's man page as man does and fails on any warning of the formatter,
# on a version that is not the project's, or on a section players look for that is missing.
#
# Usage: ui_man_page_test.sh PAGE VERSION
set -eu
page=$1
version=$2
failed=0

warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=w -l "$page" 2>&1 >/dev/null) || failed=1
if [ -n "$warnings" ]; then
  printf 'ui_man_page: warnings:\n%s\n' "$warnings"
  failed=1
fi
if ! head -n 1 "$page" | grep -q "\"orvane-probe-formations $version\""; then
  echo "ui_man_page: the .TH line does not name version $version"
  failed=1
fi
for section in NAME SYNOPSIS DESCRIPTION 'THE PAGE' OPTIONS SECURITY 'EXIT STATUS' EXAMPLES; do
  if ! grep -q "^\.SH $section\$" "$page"; then
    echo "ui_man_page: no section $section"
    failed=1
  fi
done
text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null)
for needle in '--port N' '--no-browser' 'Quit' 'Restore' '127.0.0.1' \
  '.dat.before-probe-formations' 'orvane-probe-formations(1)'; do
  if ! printf '%s\n' "$text" | grep -qF -- "$needle"; then
    echo "ui_man_page: the formatted page lacks \"$needle\""
    failed=1
  fi
done
[ "$failed" -eq 0 ] && echo "ui_man_page: no warnings, every section present"
exit "$failed"
