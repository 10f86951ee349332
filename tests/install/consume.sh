#!/usr/bin/env bash
# Installs the built tree into a temporary prefix and checks what an
# integrator gets: the example consumer configures against the CMake package
# and runs, the pkg-config file builds the same program, no private header
# is installed, and the Debian packages hold the programs and the manual
# page where a system keeps them.
#
#   consume.sh BUILD_DIR SOURCE_DIR CXX_COMPILER
set -euo pipefail
build=$1
source=$2
compiler=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
have() { command -v "$1" > /dev/null || { echo "note: $1 is missing, its check is skipped"; return 1; }; }

cmake --install "$build" --prefix "$work/prefix" > /dev/null

# Only public headers, and no interpreter internals.
if find "$work/prefix/include" -name '*_internal.h' | grep -q .; then fail "private headers installed"; fi
[ -e "$work/prefix/include/orvane/runtime/object.h" ] || fail "runtime/object.h not installed"
[ -e "$work/prefix/include/orvane/app" ] && fail "interpreter headers installed"
for name in runtime clib streams filesystem net collections; do
    grep -qs "Orvane::$name " "$work"/prefix/lib*/cmake/Orvane/OrvaneTargets.cmake || fail "Orvane::$name not exported"
done
[ -e "$work/prefix/include/orvane/collections/list.h" ] || fail "collections/list.h not installed"
for program in bitrun textprog bittrace bitview; do [ -x "$work/prefix/bin/$program" ] || fail "$program not installed"; done

printf 'first line\nSecond Line, with Ümlaut\n' > "$work/notes.txt"
expected=$'FIRST LINE\r\nSECOND LINE, WITH ÜMLAUT\r\n'

# The CMake package.
cmake -S "$source/examples/embedding" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$work/prefix" \
    -DCMAKE_CXX_COMPILER="$compiler" > /dev/null
cmake --build "$work/consumer" > /dev/null
got=$(cd "$work" && "$work/consumer/shout" "utf8::$work/notes.txt" && printf x) || fail "shout failed: $got"
[ "${got%x}" = "$expected" ] || fail "shout through the CMake package printed: ${got%x}"

# The pkg-config file, with the tree moved elsewhere: it finds its prefix.
mv "$work/prefix" "$work/moved"
if have pkg-config; then
    flags=$(PKG_CONFIG_PATH=$(dirname "$(find "$work/moved" -name orvane.pc)") pkg-config --cflags --libs orvane)
    # shellcheck disable=SC2086
    "$compiler" "$source/examples/embedding/shout.cpp" -o "$work/shout-pc" $flags
    # A plain relative name is a file of the starting directory, read one
    # byte per character.
    printf 'plain\n' > "$work/plain.txt"
    got=$(cd "$work" && "$work/shout-pc" plain.txt && printf x) || fail "shout (pkg-config) failed: $got"
    [ "${got%x}" = $'PLAIN\r\n' ] || fail "shout through pkg-config printed: ${got%x}"
fi

if have man; then
    page=$(man -l "$source/docs/bitrun.1" 2>/dev/null)
    grep -q 'EXIT STATUS' <<< "$page" || fail "the manual page does not render"
fi

# The Debian packages.
have dpkg-deb || exit 0
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/packages" > /dev/null)
bitrun_deb=$(find "$work/packages" -maxdepth 1 -name 'bitrun_*.deb')
dev_deb=$(find "$work/packages" -maxdepth 1 -name 'orvane-dev_*.deb')
[ -n "$bitrun_deb" ] && [ -n "$dev_deb" ] || fail "packages missing: $(ls "$work/packages")"
listing=$(dpkg-deb -c "$bitrun_deb")
for path in ./usr/bin/bitrun ./usr/bin/textprog ./usr/bin/bittrace ./usr/bin/bitview ./usr/share/man/man1/bitview.1.gz \
            ./usr/share/orvane/code.txt ./usr/share/orvane/examples/hello.txt; do
    grep -q " $path\$" <<< "$listing" || fail "$path not in the bitrun package"
done
grep -q '\.h$' <<< "$listing" && fail "headers in the bitrun package"
dev_listing=$(dpkg-deb -c "$dev_deb")
grep -q 'include/orvane/streams/stream.h$' <<< "$dev_listing" || fail "headers missing from orvane-dev"
echo "installed tree, consumer, pkg-config and packages all check out"
