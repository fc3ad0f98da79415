#!/usr/bin/env bash
# scripts/lib/install-deps against stand-ins for dpkg-query, apt-get, sudo, id and fuser: which packages each set
# asks for, that nothing is installed (and no root needed) when all are there, and that a held package lock is
# waited for, with a limit.
set -uo pipefail
script="$(cd "$(dirname "$0")/../.." && pwd)/scripts/lib/install-deps"
bin=$(mktemp -d)
trap 'rm -rf "$bin"' EXIT
failures=0
checks=0
check() {  # check NAME CONDITION...
  checks=$((checks + 1))
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

stub() { printf '#!/usr/bin/env bash\n%s\n' "$2" > "$bin/$1"; chmod +x "$bin/$1"; }
stub dpkg-query 'grep -qx "$3" "$STUB_DIR/installed" 2>/dev/null && echo "install ok installed"'
stub apt-get 'echo "apt-get $*" >> "$STUB_DIR/calls"'
stub sudo 'echo "sudo" >> "$STUB_DIR/calls"; "$@"'
stub id 'echo "${STUB_UID:-1000}"'
stub fuser 'n=$(cat "$STUB_DIR/busy" 2>/dev/null || echo 0); [ "$n" -gt 0 ] && { echo $((n - 1)) > "$STUB_DIR/busy"; exit 0; }; exit 1'
run() { STUB_DIR="$bin" PATH="$bin:$PATH" ORVEL_APT_POLL=0 "$script" "$@" > "$bin/out" 2>&1; }

printf '%s\n' cmake ninja-build g++ googletest libgtest-dev pkg-config libudev-dev libusb-1.0-0-dev libftdi1-dev > "$bin/installed"
run demo
check "a complete demo set installs nothing and needs no root" [ $? -eq 0 -a ! -e "$bin/calls" ]

run test
check "the test set asks for the cross compiler, Wine and the JSON parser" grep -q "install -y -qq nlohmann-json3-dev g++-mingw-w64-x86-64-posix wine64" "$bin/calls"
check "and for umockdev, which emulates devices" grep -q "umockdev libumockdev-dev" "$bin/calls"
check "and for a font with Japanese, Chinese and Korean glyphs for the window tests" grep -q "imagemagick fonts-wqy-zenhei" "$bin/calls"
check "and for lintian, which checks the package" grep -q " lintian\( \|$\)" "$bin/calls"
rm -f "$bin/calls"

: > "$bin/installed"
run demo
check "the demo set never asks for the cross compiler or Wine" bash -c "! grep -q 'mingw\|wine' '$bin/calls' && grep -q 'install -y -qq cmake ninja-build g++ googletest libgtest-dev' '$bin/calls'"
check "the demo set asks for the device libraries the program is built with" grep -q "libudev-dev libusb-1.0-0-dev libftdi1-dev" "$bin/calls"
check "a user that is not root installs through sudo" grep -q '^sudo$' "$bin/calls"
rm -f "$bin/calls"

echo 3 > "$bin/busy"
STUB_UID=0 run demo
check "a held package lock is waited for" [ $? -eq 0 ]
check "the wait is announced" grep -q "waiting for another package manager run" "$bin/out"
rm -f "$bin/calls"

echo 1000 > "$bin/busy"
STUB_UID=0 ORVEL_APT_WAIT=20 run demo
check "a lock held past the limit ends with a clear error" [ $? -eq 1 ]
check "and installs nothing" [ ! -e "$bin/calls" ]
check "saying why" grep -q "error: the package manager stayed busy for 20 s" "$bin/out"

run bogus
check "an unknown set is refused" grep -q "error: unknown package set 'bogus'" "$bin/out"

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
