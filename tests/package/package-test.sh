#!/usr/bin/env bash
# The Debian package, checked without installing it: its metadata and file
# list, then unpacked into a throw-away root, where the commands on the PATH
# find their libraries and data files and recover a deleted file.
# With --install (CI, as root) it is also installed with apt, which pulls
# in what it depends on, in a German session (its language must follow),
# run, and removed: nothing of it may be left.
#
# Usage: tests/package/package-test.sh PACKAGE.deb [--install]
set -uo pipefail
deb=$(realpath "$1")
install=${2:-}
failed=0
fail() { echo "package: $*"; failed=1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/jexpackage-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
private=usr/lib/$triplet/jexfilerecovery

# Metadata: the libraries the programs and the core link are dependencies.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libntfs-3g libblkid1 libudev1 libqt6widgets6 zlib1g qt6-qpa-plugins; do
    grep -q "$library" <<< "$depends" || fail "Depends lacks $library: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = jexfilerecovery ] || fail "the package is not named jexfilerecovery"

# The file list: commands, private folder, data, desktop files, manual
# pages, completion, documentation; nothing outside /usr.
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' > "$work/files"
for path in /usr/bin/jexrecover /usr/bin/JexFileRecovery /usr/bin/jexfilerecovery \
    "/$private/jexrecover" "/$private/JexFileRecovery" "/$private/jexfilerecovery-open" "/$private/libJexFSCore.so" \
    "/$private/libJexVars.so" "/$private/Lang.vrl" "/$private/Params.vrl" "/$private/jexsetup-language" \
    /usr/share/applications/org.example.JexFileRecovery.desktop /usr/share/metainfo/org.example.JexFileRecovery.metainfo.xml \
    /usr/share/polkit-1/actions/org.example.JexFileRecovery.policy \
    /usr/share/icons/hicolor/scalable/apps/org.example.JexFileRecovery.svg \
    /usr/share/man/man1/jexrecover.1.gz /usr/share/man/man1/JexFileRecovery.1.gz /usr/share/man/man1/jexfilerecovery.1.gz \
    /usr/share/bash-completion/completions/jexrecover /usr/share/doc/jexfilerecovery/README.md.gz \
    /usr/share/doc/jexfilerecovery/copyright; do
    grep -qx -- "$path" "$work/files" || fail "$path is not in the package"
done
grep -v '^/usr/' "$work/files" | grep -vx '/' | grep -q . && fail "files outside /usr: $(grep -v '^/usr/' "$work/files" | grep -vx / | head -3)"
# No library on the system's own search path.
grep -E "^/usr/lib/$triplet/[^/]+\.so" "$work/files" && fail "a library on the system's library path"

# Unpacked into a throw-away root: the programs there find their own.
root=$work/root
dpkg-deb -x "$deb" "$root"
"$root/usr/bin/jexrecover" --version | grep -q '^jexrecover ' || fail "jexrecover --version does not run unpacked"
"$root/usr/bin/JexFileRecovery" --version | grep -q '^JexFileRecovery ' || fail "JexFileRecovery --version does not run unpacked"
grep -q "^Exec=/$private/JexFileRecovery" "$root/usr/share/applications/org.example.JexFileRecovery.desktop" ||
    fail "the menu entry does not start /$private/JexFileRecovery"
grep -q "/$private/jexfilerecovery-open" "$root/usr/share/polkit-1/actions/org.example.JexFileRecovery.policy" ||
    fail "the polkit action does not name /$private/jexfilerecovery-open"
# A card with a deleted file, searched and restored by the unpacked tool.
export MTOOLS_SKIP_CHECK=1
mkfs.fat -F 32 -C "$work/card.img" 34000 >/dev/null
printf 'Einkaufsliste: Milch, Brot\n' > "$work/note.txt"
mcopy -i "$work/card.img" "$work/note.txt" ::/Notiz.txt && mdel -i "$work/card.img" ::/Notiz.txt
"$root/usr/bin/jexrecover" restore "$work/card.img" --all --to "$work/out" --quiet >/dev/null ||
    fail "the unpacked jexrecover could not restore"
cmp -s "$work/note.txt" "$work/out/Notiz.txt" || fail "the unpacked jexrecover did not restore the note"

if [ "$install" = --install ]; then
    export DEBIAN_FRONTEND=noninteractive
    # Installed in a German session: the program speaks German.
    if LANG=de_DE.UTF-8 apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1; then
        dpkg -L jexfilerecovery > "$work/installed"
        python3 -c 'import sys; sys.exit("German".encode("utf-16-le") not in open(sys.argv[1], "rb").read())' \
            "/$private/Params.vrl" || fail "installed with LANG=de_DE.UTF-8, Params.vrl does not name German"
        jexrecover --version >/dev/null || fail "the installed jexrecover does not run"
        man -w jexrecover >/dev/null 2>&1 || fail "man does not find jexrecover(1)"
        apt-get remove --purge -y -qq jexfilerecovery >"$work/apt.log" 2>&1 || fail "apt-get could not remove it"
        while read -r path; do
            [ -f "$path" ] && fail "$path is left after removing the package"
        done < "$work/installed"
        [ -d "/$private" ] && fail "/$private is left after removing the package"
    else
        fail "apt-get could not install it: $(tail -n 5 "$work/apt.log")"
    fi
fi
[ $failed -eq 0 ] && echo "package: $(basename "$deb") checked"
exit $failed
