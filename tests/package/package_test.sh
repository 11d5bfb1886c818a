#!/usr/bin/env bash
# Builds the Debian package from this build, unpacks it into a scratch root and checks what an
# installation gets: every file in its place, programs that run from there without
# LD_LIBRARY_PATH, man pages that read without warnings, a valid desktop entry and MIME type, the
# shell completion, and Depends filled in from the linked libraries.
#   package_test.sh BUILD_DIR VERSION
set -uo pipefail
build=$1
version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  exit 1
fi
deb=$(echo "$scratch"/out/trox_*.deb)
[ -f "$deb" ] || { ls -R "$scratch/out" >&2; exit 1; }
root=$scratch/root
dpkg -x "$deb" "$root"
usr=$root/usr

icons=(share/icons/hicolor/scalable/apps/trox-wizard.svg
       share/icons/hicolor/scalable/mimetypes/application-x-trox-transfer.svg)
for size in 16 22 24 32 48 64 128 256; do
  icons+=("share/icons/hicolor/${size}x$size/apps/trox-wizard.png"
          "share/icons/hicolor/${size}x$size/mimetypes/application-x-trox-transfer.png")
done
for file in bin/trox bin/trox-wizard lib/libtrox-tools.so lib/libtrox-engine.so.3 \
  lib/libtrox-ui.so.3 lib/libtrox-tools.so.3 include/trox-tools/TroxTools.h \
  share/man/man1/trox.1 share/man/man1/trox-wizard.1 share/man/man5/trx.5 \
  share/trox-wizard/help/welcome.htm share/applications/trox-wizard.desktop \
  share/mime/packages/trox-wizard.xml share/bash-completion/completions/trox "${icons[@]}"; do
  [ -e "$usr/$file" ] || fail "the package lacks /usr/$file"
done
for lib in engine ui tools; do
  soname=$(objdump -p "$usr/lib/libtrox-$lib.so.3" 2>/dev/null | awk '$1 == "SONAME" {print $2}')
  [ "$soname" = "libtrox-$lib.so.3" ] || fail "libtrox-$lib has the SONAME '$soname'"
done
# A PNG's width and height are the 4-byte numbers at offset 16.
[ "$(od -An -tx1 -j16 -N8 "$usr/share/icons/hicolor/256x256/apps/trox-wizard.png" | tr -d ' \n')" = \
  0000010000000100 ] || fail "the 256 pixel icon is not 256 by 256 pixels"

# Run from the scratch root, the programs find the libraries beside them.
out=$(env -u LD_LIBRARY_PATH "$usr/bin/trox" --version 2>&1)
grep -q "version $version" <<<"$out" || fail "trox --version printed: $out"
ldd "$usr/bin/trox-wizard" | grep -E 'libtrox|not found' | grep -v " => $usr/" &&
  fail "trox-wizard takes a library from outside the package"

for page in man1/trox.1 man1/trox-wizard.1 man5/trx.5; do
  warnings=$(MANWIDTH=80 man --warnings -l "$usr/share/man/$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page: $warnings"
done
desktop-file-validate "$usr/share/applications/trox-wizard.desktop" || fail "desktop entry"
cp -r "$usr/share/mime" "$scratch/mime"
update-mime-database "$scratch/mime" >/dev/null 2>&1 &&
  grep -q 'application/x-trox-transfer:\*\.trx' "$scratch/mime/globs2" || fail "MIME type"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libc6 libqt6widgets6 libnettle8; do
  grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done

# Completion: transfer files after -f, the long options by their prefix.
mkdir "$scratch/jobs" && touch "$scratch/jobs/a.trx" "$scratch/jobs/b.txt"
got=$(cd "$scratch/jobs" && bash -c 'source "$1"
  COMP_WORDS=(trox -f ""); COMP_CWORD=2; _trox; echo "${COMPREPLY[*]}"
  COMP_WORDS=(trox --tls); COMP_CWORD=1; _trox; echo "${COMPREPLY[*]}"' _ \
  "$usr/share/bash-completion/completions/trox" 2>&1)
[ "$got" = $'a.trx\n--tls --tls-implicit --tls-pin' ] || fail "completion gave: $got"

exit $status
