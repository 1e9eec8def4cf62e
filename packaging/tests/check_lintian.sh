#!/bin/sh
# lintian must find nothing that is not overridden, and every override must
# say why, in a comment right above it.
set -eu
lintian=$1 deb=$2 overrides=$3

"$lintian" --fail-on error,warning --tag-display-limit 0 "$deb"

awk '
  /^#/ { reason = 1; next }
  /^[[:space:]]*$/ { reason = 0; next }
  { if (!reason) { print FILENAME ": override without a reason: " $0; bad = 1 } }
  END { exit bad }
' "$overrides"
