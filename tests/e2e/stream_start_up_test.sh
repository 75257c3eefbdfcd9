#!/bin/sh
# The program sets up no standard streams before main (docs/DESIGN.md): nothing in it refers to
# their start-up, the constructor of std::ios_base::Init, which would also set up the whole
# classic locale.
#
# Usage: stream_start_up_test.sh NM PROGRAM
set -eu
symbols=$("$1" "$2")
[ -n "$symbols" ] || { echo "stream_start_up: $2 lists no symbols"; exit 1; }
if printf '%s\n' "$symbols" | grep -E '_ZNSt8ios_base4InitC[12]Ev'; then
  echo "stream_start_up: $2 sets up the standard streams"
  exit 1
fi
