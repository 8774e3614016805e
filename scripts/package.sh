#!/usr/bin/env bash
# Builds the Debian package $BUILD_DIR/package/bxf2-import_<version>_<arch>.deb
# (BUILD_DIR defaults to build) from the install rules, and checks it:
#   - its control fields, with Depends naming exactly the packages that hold
#     the shared libraries its programs and plug-in modules load;
#   - that it holds what `cmake --install` installs, owned by root;
#   - that the programs unpacked from it import the example kitchen and read
#     an example file, and that the manual pages render without warnings.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
build=${BUILD_DIR:-build}

fail() {
  echo "package: $*" >&2
  exit 1
}

rm -rf "$build/package"
cpack --config "$build/CPackConfig.cmake" >"$build/cpack.log" 2>&1 || { cat "$build/cpack.log"; fail "cpack failed"; }
version=$("$build/apps/bxf2-import/bxf2-import" --version | sed -n 's/^bxf2-import //p')
arch=$(dpkg --print-architecture)
deb="$build/package/bxf2-import_${version}_${arch}.deb"
[ -f "$deb" ] || fail "cpack wrote no $deb"
echo "$deb"
dpkg-deb --info "$deb"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Control fields.
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = bxf2-import ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', the programs say '$version'"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
field Maintainer | grep -Eq '^[^<]+ <[^ @<>]+@[^ @<>]+>$' || fail "Maintainer is '$(field Maintainer)'"
[ -n "$(field Description | head -n1)" ] || fail "no Description summary"
[ "$(field Description | wc -l)" -gt 2 ] || fail "no long Description"

# Depends: the owners of the libraries the ELF files of the package need.
dpkg-deb -x "$deb" "$work/root"
needed=$(find "$work/root" -type f -exec sh -c 'file -b "$1" | grep -q "^ELF" && readelf -d "$1"' _ {} \; |
  sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort -u)
[ -n "$needed" ] || fail "no shared library needed"
owners=$(for soname in $needed; do
  path=$(ldconfig -p | awk -v s="$soname" '$1 == s {print $NF; exit}')
  [ -n "$path" ] || fail "$soname is not on this machine"
  { dpkg -S "$path" || dpkg -S "$(readlink -f "$path")"; } 2>/dev/null | head -n1 | cut -d: -f1
done | sort -u)
depends=$(field Depends | tr ',' '\n' | sed 's/([^)]*)//; s/^ *//; s/ *$//' | sort -u)
[ "$depends" = "$owners" ] || fail "Depends names $(echo $depends), the libraries come from $(echo $owners)"
! field Depends | grep -q -- '-dev' || fail "Depends names a development package"

# Contents: what `cmake --install` installs, under /usr, owned by root.
cmake --install "$build" --prefix "$work/prefix" >/dev/null
installed=$(cd "$work/prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
packed=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $NF}' | sed 's|^\./usr/||' | sort)
[ "$installed" = "$packed" ] || fail "the package holds other files than the install rules:
$(diff <(echo "$installed") <(echo "$packed"))"
! dpkg-deb --contents "$deb" | awk '{print $2}' | grep -v '^root/root$' || fail "files not owned by root"
for file in usr/bin/bxf2-import usr/bin/bxf2-inspect usr/lib/bxf2-import/import.bxf2.plg \
  usr/lib/bxf2-import/meshport.plg usr/lib/bxf2-import/H-SK.meb \
  usr/share/man/man1/bxf2-import.1.gz usr/share/man/man1/bxf2-inspect.1.gz; do
  [ -f "$work/root/$file" ] || fail "the package lacks /$file"
done

# The unpacked programs (stripped, as packed) on the packed examples.
examples="$work/root/usr/share/doc/bxf2-import/examples"
mkdir "$work/tmp"
TMPDIR="$work/tmp" "$work/root/usr/bin/bxf2-import" --quiet --warning ok -o "$work/kitchen.glb" \
  -o "$work/kitchen.json" -o "$work/kitchen.png" "$examples/kitchen.zip" </dev/null >/dev/null ||
  fail "bxf2-import failed on kitchen.zip"
[ -s "$work/kitchen.glb" ] && [ -s "$work/kitchen.json" ] && [ -s "$work/kitchen.png" ] ||
  fail "bxf2-import wrote no project"
"$work/root/usr/bin/bxf2-inspect" "$examples/base-cabinet.bxf2" >"$work/cabinet.json" || fail "bxf2-inspect failed"
grep -q '"library"' "$work/cabinet.json" || fail "bxf2-inspect printed no model"

# The manual pages: no roff warnings, the usual sections, every option of --help.
for program in bxf2-import bxf2-inspect; do
  page="$work/root/usr/share/man/man1/$program.1.gz"
  warnings=$(zcat "$page" | groff -man -Tutf8 -ww -z 2>&1)
  [ -z "$warnings" ] || fail "$program.1: $warnings"
  text=$(MANWIDTH=80 man -l "$page" 2>&1)
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" EXAMPLES "SEE ALSO"; do
    grep -q "^$section" <<<"$text" || fail "$program.1 has no $section section"
  done
  for option in $("$work/root/usr/bin/$program" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$option" <<<"$text" || fail "$program.1 does not mention $option"
  done
done
echo "package: $deb checked"
