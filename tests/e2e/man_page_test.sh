#!/bin/sh
# Formats a man page as man does and fails on any warning of the formatter, on a version that
# is not the project's, or on a section or text players look for that is missing. The sections
# and texts are those of the page's program: the command line or the window program.
#
# Usage: man_page_test.sh PAGE VERSION
set -eu
page=$1
version=$2
failed=0

warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=w -l "$page" 2>&1 >/dev/null) || failed=1
if [ -n "$warnings" ]; then
  printf 'man_page: warnings:\n%s\n' "$warnings"
  failed=1
fi
if ! head -n 1 "$page" | grep -q "\"orvane-probe-formations $version\""; then
  echo "man_page: the .TH line does not name version $version"
  failed=1
fi
case $(basename "$page") in
  orvane-probe-formations-ui.1)
    set -- NAME SYNOPSIS DESCRIPTION 'THE PAGE' OPTIONS SECURITY 'EXIT STATUS' EXAMPLES
    needles='--port N|--no-browser|Quit|Restore|127.0.0.1|.dat.before-probe-formations|orvane-probe-formations(1)'
    ;;
  *)
    set -- NAME SYNOPSIS DESCRIPTION COMMANDS BACKUPS 'PACKAGE FILE' 'EXIT STATUS' EXAMPLES
    needles='list core_user.dat|export core_user.dat package.json|apply package.json target-core_user.dat|accounts settings_Default|.dat.before-probe-formations|Restoring a backup|for b in core_user_*.dat.before-probe-formations|"format": "kelvo-probe-formations"'
    ;;
esac
for section in "$@"; do
  if ! grep -q "^\.SH $section\$" "$page"; then
    echo "man_page: no section $section"
    failed=1
  fi
done
text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null)
# Split on | alone, with no file-name expansion of the needles' stars.
set -f
IFS='|'
for needle in $needles; do
  if ! printf '%s\n' "$text" | grep -qF -- "$needle"; then
    echo "man_page: the formatted page lacks \"$needle\""
    failed=1
  fi
done
unset IFS
[ "$failed" -eq 0 ] && echo "man_page: no warnings, every section present"
exit "$failed"
