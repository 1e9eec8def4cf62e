#!/bin/sh
# Runs the given test programs again as nobody, with no capabilities at
# all, so that a step's test that only passes with root's powers shows up.
# Exits 77 (skipped) where that cannot be tried: not run as root, or the
# build folder out of nobody's reach.
set -u
setpriv=$1
shift
as_nobody() {
  "$setpriv" --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all --bounding-set=-all "$@"
}
if [ "$(id -u)" != 0 ]; then
  echo "not root: the suite itself runs these unprivileged"
  exit 77
fi
for program in "$@"; do
  if ! as_nobody test -x "$program"; then
    echo "nobody cannot run $program"
    exit 77
  fi
done
cd /tmp || exit 1
for program in "$@"; do
  as_nobody "$program" --gtest_brief=1 || exit 1
done
