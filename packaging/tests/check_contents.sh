#!/bin/sh
# Checks what the package holds: every file with its mode and owner (so a
# stand-in or a stray file shows at once), the control fields that come from
# the build, the conffiles and the maintainer scripts.
set -eu
deb=$1 expected=$2 conffiles=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }' > "$work/contents"
if ! diff -u "$expected" "$work/contents"; then
  echo "package contents differ from $expected (- expected, + built)"
  failed=1
fi

dpkg-deb -e "$deb" "$work/control"
field() { sed -n "s/^$1: //p" "$work/control/control"; }
[ "$(field Package)" = zarncfg ] || { echo "Package: $(field Package)"; failed=1; }
depends=$(field Depends)
# dpkg-shlibdeps found the libraries the program links; libpq5 is loaded
# when first used; adduser is for postinst.
for dependency in adduser libpq5 'libc6 (' 'libstdc++6 (' 'libsqlite3-0 (' 'libcrypt1 ('; do
  case "$depends" in
    *"$dependency"*) ;;
    *) echo "Depends lacks $dependency: $depends"; failed=1 ;;
  esac
done

if ! diff -u "$conffiles" "$work/control/conffiles"; then
  echo "conffiles differ from $conffiles"
  failed=1
fi
for script in postinst postrm; do
  [ -x "$work/control/$script" ] || { echo "$script is missing or not executable"; failed=1; continue; }
  sh -n "$work/control/$script" || { echo "$script is not valid sh"; failed=1; }
done

exit "$failed"
