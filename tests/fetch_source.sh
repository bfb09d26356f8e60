#!/usr/bin/env bash
# Fetches and unpacks a Debian source package into a work folder, once, and
# prints the unpacked folder: with Debian's patches where the whole package
# came, from the upstream tarball alone where the archive lacks the Debian
# part. Needs a deb-src entry (scripts/install-deps adds one) and dpkg-dev.
# The sources stay in the build tree; none is ever kept in the project.
#   tests/fetch_source.sh <work folder> <package>
set -euo pipefail
work=$1 pkg=$2
mkdir -p "$work"
dir=$(find "$work" -maxdepth 1 -type d -name "$pkg-[0-9]*" | head -n 1)
if [ -z "$dir" ]; then
    (cd "$work" && apt-get source -qq --download-only "$pkg" >/dev/null 2>&1) || true
    dsc=$(ls "$work/${pkg}"_*.dsc 2>/dev/null | head -n 1)
    [ -n "$dsc" ] || { echo "apt-get source $pkg failed (is there a deb-src entry?)" >&2; exit 1; }
    if ! (cd "$work" && dpkg-source -q -x "$dsc" >/dev/null 2>&1); then
        tar -C "$work" -xf "$(ls "$work/${pkg}"_*.orig.tar.* | head -n 1)"
    fi
    dir=$(find "$work" -maxdepth 1 -type d -name "$pkg-[0-9]*" | head -n 1)
fi
echo "$dir"
