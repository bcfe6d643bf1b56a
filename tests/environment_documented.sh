#!/bin/bash
# Fails when the program reads a VIVEDAZIV_ variable the README's table of
# environment settings leaves out.
# Usage: environment_documented.sh SOURCE_DIR
set -eu -o pipefail
src=$1
readme=$src/README.md
# Names between quotes in the sources are the ones handed to getenv and its kin.
mapfile -t names < <(grep -rhoE '"VIVEDAZIV_[A-Z0-9_]+"' \
  --include='*.cpp' --include='*.h' --include='*.c' \
  "$src/app" "$src/password" "$src/saver" "$src/settings" "$src/sim" \
  "$src/tools" "$src/ui" "$src/wayland" "$src/x11" | tr -d '"' | sort -u)
if [ "${#names[@]}" -eq 0 ]; then
  echo "no VIVEDAZIV_ variable found under $src: wrong source folder?" >&2
  exit 1
fi
missing=0
for name in "${names[@]}"; do
  if ! grep -qE "^\| \`$name\` \|" "$readme"; then
    echo "$name is read by the program but not documented in README.md" >&2
    missing=1
  fi
done
exit "$missing"
