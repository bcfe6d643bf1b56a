#!/usr/bin/env bash
# Builds the Debian package and its debug symbols package with
# dpkg-buildpackage, in a scratch copy of the source tree so that neither
# the tree nor the folder above it collects build products. The build also
# runs the unit tests on the packaged code (DEB_BUILD_OPTIONS=nocheck skips
# them). The .deb files, .changes, .buildinfo and the build's log
# (package-build.log) land in OUT.
# Usage: scripts/package.sh [OUT]   (default build/deb)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/deb}")
version=$(dpkg-parsechangelog -S Version)
project_version=$(sed -n 's/^project(vivedaziv VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ "$version" != "$project_version" ]; then
  echo "debian/changelog is at $version but CMakeLists.txt at $project_version"
  exit 1
fi
# dpkg-buildpackage builds with one job unless told otherwise.
case " ${DEB_BUILD_OPTIONS:-} " in
  *" parallel="*) ;;
  *) export DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:+$DEB_BUILD_OPTIONS }parallel=$(nproc)" ;;
esac
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
src=$scratch/vivedaziv-$version
mkdir -p "$src" "$out"
tar --exclude=./build --exclude=./.git --exclude='./obj-*' -cf - . | tar -C "$src" -xf -
rm -f "$out"/vivedaziv*_"$version"_* "$out/package-build.log"
if ! (cd "$src" && dpkg-buildpackage -b -us -uc -J >"$out/package-build.log" 2>&1); then
  tail -60 "$out/package-build.log"
  echo "dpkg-buildpackage failed (whole log: $out/package-build.log)"
  exit 1
fi
mv "$scratch"/*.deb "$scratch"/*.changes "$scratch"/*.buildinfo "$out"/
ls "$out"/*.deb
