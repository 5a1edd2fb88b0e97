#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the .deb from a built tree with CPack and checks that every
# file is in it at its place and that its dependencies name the Qt 6 libraries.
#   deb_package_check.sh BUILD_DIR VERSION APPSTREAM_ID
# Exit 77 (skipped) when dpkg-deb or cpack is missing.
set -euo pipefail
build=$1 version=$2 appstream_id=$3

for tool in dpkg-deb cpack dpkg-shlibdeps; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing, the package cannot be built or read"
    exit 77
  fi
done

# A folder of its own for the staged files, CPack's work and the package, so
# that this test never touches what other tests or a parallel build use. The
# build tree is installed as it is (cpack itself would first build the whole
# tree again, through its preinstall step); CPack then packs that staged tree
# with the project's own package settings.
work=$build/packaging-test
rm -rf "$work"
mkdir -p "$work"
stage=$work/stage
cmake --install "$build" --prefix "$stage" --strip >"$work/install.log" 2>&1 || {
  cat "$work/install.log"
  echo "FAIL: cmake --install"
  exit 1
}
config=$work/CPackConfig.cmake
{
  cat "$build/CPackConfig.cmake"
  echo 'set(CPACK_INSTALL_CMAKE_PROJECTS "")'
  # The staged tree goes below the package's prefix (/usr).
  echo "set(CPACK_INSTALLED_DIRECTORIES \"$stage;\${CPACK_PACKAGING_INSTALL_PREFIX}\")"
  echo "set(CPACK_PACKAGE_DIRECTORY \"$work\")"
} >"$config"
(cd "$work" && cpack -G DEB --config "$config" >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log"
  echo "FAIL: cpack could not build the package"
  exit 1
}
deb=$work/tavrelix-corvanel_${version}_$(dpkg --print-architecture).deb
if [ ! -f "$deb" ]; then
  cat "$work/cpack.log"
  echo "FAIL: no $deb"
  exit 1
fi

contents=$(dpkg-deb -c "$deb")
info=$(dpkg-deb -I "$deb")
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Each file at its place, with its mode: programs executable, the rest read-only.
expect_file() {
  local mode=$1 path=$2
  local line
  line=$(grep -E " \./${path//./\\.}\$" <<<"$contents" || true)
  if [ -z "$line" ]; then
    fail "$path is not in the package"
  elif [[ $line != "$mode "* ]]; then
    fail "$path has mode ${line%% *}, expected $mode"
  fi
}
for program in tavrelix-corvanel corvanel corvanel-board; do
  expect_file -rwxr-xr-x "usr/bin/$program"
done
expect_file -rw-r--r-- usr/share/tavrelix-corvanel/corvaneldevices.txt
expect_file -rw-r--r-- usr/share/applications/tavrelix-corvanel.desktop
expect_file -rw-r--r-- usr/share/icons/hicolor/scalable/apps/tavrelix-corvanel.svg
expect_file -rw-r--r-- usr/share/icons/hicolor/48x48/apps/tavrelix-corvanel.png
expect_file -rw-r--r-- "usr/share/metainfo/$appstream_id.metainfo.xml"
for page in corvanel corvanel-board tavrelix-corvanel; do
  expect_file -rw-r--r-- "usr/share/man/man1/$page.1.gz"
done
expect_file -rw-r--r-- usr/share/bash-completion/completions/corvanel
expect_file -rw-r--r-- usr/share/doc/tavrelix-corvanel/copyright
expect_file -rw-r--r-- usr/share/doc/tavrelix-corvanel/changelog.gz

# Nothing but programs in the programs' folder (the device database used to land there).
others=$(grep -E ' \./usr/bin/[^/]+$' <<<"$contents" |
  grep -vE ' \./usr/bin/(tavrelix-corvanel|corvanel|corvanel-board)$' || true)
[ -z "$others" ] || fail "more than the programs in /usr/bin: $others"
# Only folders of the install prefix; every folder is 755.
outside=$(awk '{ print $6 }' <<<"$contents" | grep -vE '^\./(usr/?.*)?$' || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"
bad_dirs=$(grep -E '^d' <<<"$contents" | grep -v '^drwxr-xr-x ' || true)
[ -z "$bad_dirs" ] || fail "folders that are not 755: $bad_dirs"

# The control file: name, version, the fields a Debian package carries, and
# dependencies computed from the programs, which link Qt 6.
field() { sed -n "s/^ $1: //p" <<<"$info"; }
[ "$(field Package)" = tavrelix-corvanel ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), expected $version"
[ "$(field Section)" = electronics ] || fail "Section: $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
grep -qE '^  [^ ]' <<<"$info" || fail "no long description"
depends=$(field Depends)
for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libc6 'libstdc\+\+6'; do
  grep -qE "(^|, )$library( |,|$)" <<<"$depends" || fail "Depends lacks $library: $depends"
done

if [ "$failures" -ne 0 ]; then
  echo "$contents"
  echo "$info"
  exit 1
fi
echo "tavrelix-corvanel_${version}: every file at its place; Depends: $depends"
