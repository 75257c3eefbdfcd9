#!/bin/sh
# Makes the Debian package of a built tree with CPack, then checks its control fields, its
# listing, and what it unpacks to: a program that runs, a man page that formats cleanly, the
# icon at each size, a changelog of this version; and that Debian's package checker finds no
# error and no warning that is not overridden with its reason.
#
# Usage: deb_package_test.sh BUILD_DIR VERSION LINKAGE
# LINKAGE is "static" for a program linked statically (what players get), "shared" for a build
# whose sanitizers need their shared runtimes.
set -eu
build=$1
version=$2
linkage=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "deb_package: $*"
  exit 1
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$work/out/orvane-probe-formations_${version}_amd64.deb
[ -f "$deb" ] || fail "no $(basename "$deb") among: $(ls "$work/out")"

dpkg-deb -I "$deb" >"$work/info"
for field in 'Package: orvane-probe-formations' "Version: $version" 'Architecture: amd64' \
  'Section: utils' 'Description: copy custom probe-scanning formations between Orvane accounts'; do
  grep -qxF " $field" "$work/info" || { cat "$work/info"; fail "control field \"$field\" missing"; }
done
grep -q '^ Maintainer: .\+ <.\+@.\+>$' "$work/info" || fail "no maintainer with an address"
# The program is linked statically: it needs no other package.
if grep -q '^ Depends:' "$work/info"; then cat "$work/info"; fail "a static program depends on packages"; fi

# Regular files only, with their modes and owners; directories may vary with CPack's version.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort >"$work/listing"
cat >"$work/expected" <<LISTING
-rw-r--r-- root/root ./usr/share/doc/orvane-probe-formations/README.md
-rw-r--r-- root/root ./usr/share/doc/orvane-probe-formations/copyright
-rw-r--r-- root/root ./usr/share/doc/orvane-probe-formations/changelog.gz
-rw-r--r-- root/root ./usr/share/lintian/overrides/orvane-probe-formations
-rw-r--r-- root/root ./usr/share/icons/hicolor/scalable/apps/orvane-probe-formations.svg
-rw-r--r-- root/root ./usr/share/man/man1/orvane-probe-formations.1.gz
-rwxr-xr-x root/root ./usr/bin/orvane-probe-formations
-rw-r--r-- root/root ./usr/share/applications/orvane-probe-formations-ui.desktop
-rw-r--r-- root/root ./usr/share/man/man1/orvane-probe-formations-ui.1.gz
-rwxr-xr-x root/root ./usr/bin/orvane-probe-formations-ui
LISTING
for size in 16 24 32 48 64 128 256; do
  echo "-rw-r--r-- root/root ./usr/share/icons/hicolor/${size}x$size/apps/orvane-probe-formations.png"
done >>"$work/expected"
sort -o "$work/expected" "$work/expected"
diff -u "$work/expected" "$work/listing" || fail "unexpected files in the package"

dpkg-deb -x "$deb" "$work/root"
status=0
"$work/root/usr/bin/orvane-probe-formations" >"$work/stdout" 2>"$work/stderr" || status=$?
[ "$status" -eq 2 ] || fail "the unpacked program exited $status without arguments, not 2"
if [ "$linkage" = static ]; then
  file "$work/root/usr/bin/orvane-probe-formations" | grep -q 'statically linked' ||
    fail "the unpacked program is not linked statically"
fi
grep -q '^Usage:$' "$work/stderr" || fail "the unpacked program printed no usage"
warnings=$(LC_ALL=C.UTF-8 man --warnings=w -l \
  "$work/root/usr/share/man/man1/orvane-probe-formations.1.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the installed man page gives warnings: $warnings"
# The window program: it starts, its man page formats, and its menu entry is valid.
ui=$work/root/usr/bin/orvane-probe-formations-ui
"$ui" --help >"$work/ui-stdout" 2>&1 || fail "the unpacked window program failed on --help"
grep -q '^Usage:$' "$work/ui-stdout" || fail "the unpacked window program printed no usage"
if [ "$linkage" = static ]; then
  file "$ui" | grep -q 'statically linked' || fail "the unpacked window program is not linked statically"
fi
warnings=$(LC_ALL=C.UTF-8 man --warnings=w -l \
  "$work/root/usr/share/man/man1/orvane-probe-formations-ui.1.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the installed man page of the window program gives warnings: $warnings"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$work/root/usr/share/applications/orvane-probe-formations-ui.desktop" ||
    fail "the menu entry is not valid"
fi
# Each PNG of the icon is as large as the folder it is in says.
for png in "$work"/root/usr/share/icons/hicolor/*x*/apps/orvane-probe-formations.png; do
  folder=$(basename "$(dirname "$(dirname "$png")")")
  file "$png" | grep -q "PNG image data, ${folder%x*} x ${folder#*x}," ||
    fail "$png is not a PNG of $folder: $(file -b "$png")"
done
grep -qx 'Icon=orvane-probe-formations' \
  "$work/root/usr/share/applications/orvane-probe-formations-ui.desktop" ||
  fail "the menu entry does not name the installed icon"
grep -qx 'Terminal=false' "$work/root/usr/share/applications/orvane-probe-formations-ui.desktop" ||
  fail "the menu entry would open a terminal"
# The changelog's newest entry is this version's.
newest=$(gzip -dc "$work/root/usr/share/doc/orvane-probe-formations/changelog.gz" | head -n 1)
case $newest in
  "orvane-probe-formations ($version) "*) ;;
  *) fail "the changelog's newest entry is not version $version: $newest" ;;
esac

# Debian's checker: errors and warnings fail, unless overridden in the package, where each
# override follows a comment that gives its reason. A sanitizer build is not what players get.
if [ "$linkage" = static ]; then
  if command -v lintian >/dev/null; then
    lintian --tag-display-limit 0 --display-level '>=warning' "$deb" >"$work/lintian" 2>&1 ||
      true
    if grep -E '^[EW]: ' "$work/lintian"; then fail "lintian reports the lines above"; fi
    # A comment gives the reason of the overrides right below it, up to a blank line.
    awk '/^#/ { reason = 1; next } /^[[:space:]]*$/ { reason = 0; next } !reason { exit 1 }' \
      "$work/root/usr/share/lintian/overrides/orvane-probe-formations" ||
      fail "a lintian override gives no reason in a comment above it"
  elif [ "${CI:-}" = true ]; then
    fail "lintian is missing (scripts/install-deps installs it)"
  else
    echo "deb_package: lintian is missing, the package goes unchecked by it"
  fi
fi
echo "deb_package: $(basename "$deb") ($(stat -c %s "$deb") bytes) holds what it should"
