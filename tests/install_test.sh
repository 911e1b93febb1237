#!/usr/bin/env bash
# Installs the built program to a temporary prefix and runs the installed copy.
set -euo pipefail
build_dir=$1
source_dir=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build_dir" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/sonari3" || { echo "bin/sonari3 not installed"; exit 1; }
test -f "$prefix/share/man/man1/sonari3.1" || { echo "man page not installed"; exit 1; }

# No arguments: the usage text and status 255.
status=0
LC_ALL=C.UTF-8 "$prefix/bin/sonari3" 2>"$prefix/usage" || status=$?
[ "$status" -eq 255 ] || { echo "usage status $status"; exit 1; }
grep -q "sonari3  foo.wav  out.wav" "$prefix/usage" || { echo "no usage text"; exit 1; }

# The bundled example converts.
LC_ALL=C.UTF-8 "$prefix/bin/sonari3" "$source_dir/examples/clicks.wav" "$prefix/out.wav" >/dev/null 2>&1
size_in=$(stat -c %s "$source_dir/examples/clicks.wav")
size_out=$(stat -c %s "$prefix/out.wav")
[ "$size_out" -gt "$size_in" ] || { echo "output too small: $size_out"; exit 1; }
echo "installed and ran from $prefix"
