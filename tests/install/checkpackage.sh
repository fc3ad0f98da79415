#!/usr/bin/env bash
# What an install puts where, and the .deb: its files, its dependencies on the distribution's libraries, what
# lintian says of it, its maintainer scripts and udev rules, and a program from it that runs. Arguments: the
# build directory.
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

# A local install puts the udev rules where udev reads them; a staging prefix keeps them under itself.
DESTDIR=$scratch/local cmake --install "$build" --prefix /usr/local >/dev/null
for file in usr/local/bin/orvel-fwupdater usr/local/lib/udev/rules.d/70-orvel-fwupdater.rules \
            usr/local/share/man/man1/orvel-fwupdater.1.gz usr/local/share/doc/orvel-fwupdater/linux.md \
            usr/local/share/doc/orvel-fwupdater/examples/demo/fw_loader.ini; do
  [ -f "$scratch/local/$file" ] || fail "cmake --install did not put $file"
done
cmake --install "$build" --prefix "$scratch/opt" >/dev/null
[ -f "$scratch/opt/lib/udev/rules.d/70-orvel-fwupdater.rules" ] || fail "a staging prefix keeps the rules under itself"
program=$scratch/opt/bin/orvel-fwupdater
# The permission advice names the rules where the package and a local install put them.
for directory in /usr/lib/udev/rules.d/ /usr/local/lib/udev/rules.d/; do
  grep -qaF "$directory" "$program" || fail "the program does not look for the rules in $directory"
done

# The man page renders without a complaint and documents every option the program accepts.
manual=$(zcat "$scratch/opt/share/man/man1/orvel-fwupdater.1.gz" | groff -man -Tascii -P-cbou -ww 2>"$scratch/groff.log")
[ ! -s "$scratch/groff.log" ] || fail "the man page: $(cat "$scratch/groff.log")"
documented=$(sed -n '/^OPTIONS/,/^[A-Z]/p' <<<"$manual" | grep -E '^ {7}-' | sed 's/, /\n/g' | awk '{print $1}')
for option in $("$program" --help | grep -oE '(^|[ [|])--?[a-z]+' | tr -d ' [|' | sort -u); do
  grep -qx -- "$option" <<<"$documented" || fail "the man page does not document $option"
done

cpack --config "$build/CPackConfig.cmake" -B "$scratch/deb" >/dev/null
deb=$(ls "$scratch"/deb/orvel-fwupdater_*_amd64.deb)
contents=$(dpkg-deb -c "$deb")
doc=./usr/share/doc/orvel-fwupdater
for file in ./usr/bin/orvel-fwupdater ./usr/lib/udev/rules.d/70-orvel-fwupdater.rules \
            ./usr/share/man/man1/orvel-fwupdater.1.gz $doc/README.md $doc/copyright $doc/changelog.gz; do
  grep -q " $file\$" <<<"$contents" || fail "the package lacks $file"
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libudev1 libusb-1.0-0 libftdi1-2 libstdc++6; do
  grep -q "$library" <<<"$depends" || fail "the package does not depend on $library: $depends"
done

# Debian's own checks: any error fails, warnings are shown.
command -v lintian >/dev/null || fail "lintian is not installed (scripts/lib/install-deps test installs it)"
lintian_status=0
findings=$(lintian "$deb" 2>&1) || lintian_status=$?
grep -E '^[EW]: ' <<<"$findings" || true
! grep -q '^E: ' <<<"$findings" || fail "lintian reports errors"
[ "$lintian_status" -eq 0 ] || fail "lintian ended with status $lintian_status: $findings"

dpkg-deb -x "$deb" "$scratch/root"
version=$(dpkg-deb -f "$deb" Version)
zcat "$scratch/root/$doc/changelog.gz" | head -1 | grep -qF "orvel-fwupdater ($version)" ||
  fail "the changelog's latest entry is not version $version"

# The maintainer scripts touch only our devices: every trigger is a change event for a device matched by
# vendor (and product), or for a hidraw node of ours; removing the package makes udev forget the rules.
triggers=$(dpkg-deb -I "$deb" postinst | grep -E '^\s*udevadm trigger' || true)
[ -n "$triggers" ] || fail "the package does not apply its rules"
while read -r trigger; do
  grep -q -- "--action=change" <<<"$trigger" || fail "postinst triggers more than a change: $trigger"
  grep -qE -- '--attr-match=idVendor=(4f52|0403 )|"\$node"' <<<"$trigger" || fail "postinst triggers devices not ours: $trigger"
done <<<"$triggers"
dpkg-deb -I "$deb" postrm | grep -q "udevadm control --reload-rules" || fail "removing the package leaves the rules loaded"

# The rules: Orvel's USB devices stay powered, and every device the seat's user gets has its commented
# plugdev variant for machines without a seat.
rules=$scratch/root/usr/lib/udev/rules.d/70-orvel-fwupdater.rules
grep -q '^SUBSYSTEM=="usb".*ATTR{idVendor}=="4f52".*ATTR{power/control}="on"' "$rules" ||
  fail "the rules let autosuspend suspend our USB devices"
while read -r rule; do
  match=${rule%%, TAG+=\"uaccess\"*}
  grep -qxF "#$match, GROUP=\"plugdev\", MODE=\"0660\"" "$rules" || fail "no plugdev variant of: $rule"
done < <(grep '^SUBSYSTEM.*TAG+="uaccess"' "$rules")

"$scratch/root/usr/bin/orvel-fwupdater" --help | grep -q "^usage: orvel-fwupdater" || fail "the packaged program does not run"
echo "package $(basename "$deb"): depends on $depends"
