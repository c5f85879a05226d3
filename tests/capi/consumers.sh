#!/usr/bin/env bash
# Builds two programs against the tree installed in PREFIX, a C++ project with
# find_package(Corabind) and a C program with pkg-config, and has each compose
# a page with one image through the installed library.
# usage: consumers.sh SOURCE_DIR PREFIX WORK_DIR [SANITIZE(ON|OFF)]
set -euo pipefail
src=$1 prefix=$2 work=$3 sanitize=${4:-OFF}
rm -rf "$work"
mkdir -p "$work/page"
printf 'GIF89a' >"$work/page/photo.gif"
printf '<html><body><p>Hello <img src="photo.gif"></p></body></html>' >"$work/page/page.htm"
export CORABIND_REGISTRY=$work/registry.json
flags=()
if [[ $sanitize == ON ]]; then flags=(-fsanitize=address,undefined -fno-sanitize-recover=all); fi

cmake -S "$src/tests/capi/consumer" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_FLAGS="${flags[*]}" >/dev/null
cmake --build "$work/cmake" >/dev/null

pc=$(find "$prefix" -name corabind.pc)
export PKG_CONFIG_PATH=${pc%/*}
pkgconfig() { pkg-config --define-variable=prefix="$prefix" "$@" corabind; }
# shellcheck disable=SC2046  # the flags are words
cc -std=c11 -Wall -Wextra -Werror "${flags[@]}" "$src/tests/capi/compose.c" -o "$work/compose_c" \
  $(pkgconfig --cflags --libs) -Wl,-rpath,"$(pkgconfig --variable=libdir)"

for program in "$work/cmake/compose_cpp" "$work/compose_c"; do
  "$program" "$work/page" >"$work/message.eml"
  python3 "$src/tests/cli/check_composed_message.py" "$work/message.eml" "$work/page" >/dev/null
  parts=$(grep -c '^Content-ID: <photo.gif>' "$work/message.eml")
  [[ $parts == 1 ]] || { echo "$program: $parts parts for photo.gif"; exit 1; }
  echo "$program: composed through the installed library"
done
