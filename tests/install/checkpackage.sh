#!/usr/bin/env bash
# What an install puts where, and the .deb: its files, its dependencies on the distribution's libraries, and a
# program from it that runs. Arguments: the build directory.
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

# A local install puts the udev rules where udev reads them; a staging prefix keeps them under itself.
DESTDIR=$scratch/local cmake --install "$build" --prefix /usr/local >/dev/null
for file in usr/local/bin/orvel-fwupdater etc/udev/rules.d/70-orvel-fwupdater.rules \
            usr/local/share/man/man1/orvel-fwupdater.1 usr/local/share/doc/orvel-fwupdater/linux.md \
            usr/local/share/doc/orvel-fwupdater/examples/demo/fw_loader.ini; do
  [ -f "$scratch/local/$file" ] || fail "cmake --install did not put $file"
done
cmake --install "$build" --prefix "$scratch/opt" >/dev/null
[ -f "$scratch/opt/lib/udev/rules.d/70-orvel-fwupdater.rules" ] || fail "a staging prefix keeps the rules under itself"
manual=$(groff -man -Tascii -P-cbou -ww "$scratch/opt/share/man/man1/orvel-fwupdater.1" 2>"$scratch/groff.log")
[ ! -s "$scratch/groff.log" ] || fail "the man page: $(cat "$scratch/groff.log")"
grep -q -- "-record FILE" <<<"$manual" || fail "the man page does not render"

cpack --config "$build/CPackConfig.cmake" -B "$scratch/deb" >/dev/null
deb=$(ls "$scratch"/deb/orvel-fwupdater_*_amd64.deb)
contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/orvel-fwupdater ./usr/lib/udev/rules.d/70-orvel-fwupdater.rules \
            ./usr/share/man/man1/orvel-fwupdater.1 ./usr/share/doc/orvel-fwupdater/README.md; do
  grep -q " $file\$" <<<"$contents" || fail "the package lacks $file"
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libudev1 libusb-1.0-0 libftdi1-2 libstdc++6; do
  grep -q "$library" <<<"$depends" || fail "the package does not depend on $library: $depends"
done
dpkg-deb -I "$deb" postinst | grep -q "udevadm trigger" || fail "the package does not apply its rules"
dpkg-deb -x "$deb" "$scratch/root"
"$scratch/root/usr/bin/orvel-fwupdater" --help | grep -q "^usage: orvel-fwupdater" || fail "the packaged program does not run"
echo "package $(basename "$deb"): depends on $depends"
