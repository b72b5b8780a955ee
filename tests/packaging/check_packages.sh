#!/usr/bin/env bash
# Checks the packages that ./test.sh makes: the .deb's control fields, files,
# desktop entry and extracted zqvtool, and the Windows zip's files and the
# resources of its zqv.exe.
#   check_packages.sh <version> <zqv_<version>_amd64.deb> <zqv-<version>-win32.zip>
set -euo pipefail
export LC_ALL=C
version=$1 deb=$2 zip=$3
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

diff -u <(printf '%s\n' "Package: zqv" "Version: $version" "Architecture: amd64" "Section: graphics") \
    <(dpkg-deb -f "$deb" Package Version Architecture Section)
# Depends is computed from the binaries: it names the C library and Qt's.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt6widgets6; do
    [[ ", $depends" == *", $lib "* ]] || { echo "Depends lacks $lib: $depends"; exit 1; }
done

# Every file of the package, and nothing else.
dpkg-deb -x "$deb" "$root"
diff -u <(printf './usr/%s\n' bin/zqv bin/zqvtool share/applications/zqv.desktop share/doc/zqv/LICENSE \
    share/doc/zqv/README.md share/icons/hicolor/256x256/apps/zqv.png share/icons/hicolor/scalable/apps/zqv.svg) \
    <(cd "$root" && find . -type f | sort)

diff -u <(echo "zqvtool $version") <("$root/usr/bin/zqvtool" --version)
# The menu entry is valid, and its command and icon are the package's.
entry=$root/usr/share/applications/zqv.desktop
desktop-file-validate "$entry"
[ -x "$root/usr/bin/$(sed -n 's/^Exec=//p' "$entry")" ] &&
    [ -f "$root/usr/share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$entry").svg" ] ||
    { echo "Exec or Icon of $entry is not in the package"; exit 1; }

diff -u <(printf "zqv-$version-win32/%s\n" LICENSE README.md zqv.exe zqvtool.exe) <(cmake -E tar tf "$zip" | sort)
# zqv.exe's resources as type/name/language: the menu (RT_MENU, 101) and the
# version (RT_VERSION, 1) in UK English, and no icon.
mkdir "$root/zip" && (cd "$root/zip" && cmake -E tar xf "$zip")
diff -u <(printf '%s\n' 0x000004/0x000065/0x000809 0x000010/0x000001/0x000809) \
    <(i686-w64-mingw32-objdump -p "$root/zip/zqv-$version-win32/zqv.exe" | tr -d , |
        awk '/Entry: ID:/ { level = index($0, "Entry"); id[level] = $4; if (level == 11) print id[7] "/" id[9] "/" $4 }')
