#!/usr/bin/env bash
# The program installed into a staging folder and started there as two
# users would: each gets a data folder of their own, seeded from the
# shipped files; the installed tree is never written to. Then the Debian
# package, when the packaging tools are there.
set -u
build="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
passed=0 failed=0 skipped=0
check() { if eval "$2"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1"; fi; }
skip() { skipped=$((skipped + 1)); echo "SKIP: $1"; }

stage="$dir/stage"
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
usr="$stage/usr"
for f in bin/quarzel bin/quarzel-db share/quarzel/STONARC.CHM share/quarzel/quarzdb32.mdb \
         share/quarzel/tarnvel.mdw share/icons/hicolor/32x32/apps/quarzel.png \
         share/applications/example.quarzelgeochem.Quarzel.desktop \
         share/metainfo/example.quarzelgeochem.Quarzel.metainfo.xml \
         share/man/man1/quarzel.1.gz share/man/man1/quarzel-db.1.gz share/doc/quarzel/copyright; do
  check "installed: $f" '[ -s "$usr/$f" ]'
done
# Each icon drawn at its own size (not a smaller one scaled up).
png_size() { python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]))' "$1"; }
for size in 16 32 64; do
  check "icon of ${size} px" '[ "$(png_size "$usr/share/icons/hicolor/${size}x${size}/apps/quarzel.png")" = "${size}x${size}" ]'
done
check "the icon's drawing is installed" '[ -s "$usr/share/icons/hicolor/scalable/apps/quarzel.svg" ]'
# The manual page and the metainfo name every menu of the window.
for menu in File Edit Tools Help; do
  check "the manual page names the $menu menu" 'zcat "$usr/share/man/man1/quarzel.1.gz" | grep -qw "$menu"'
  check "the metainfo names the $menu menu" 'grep -qw "$menu" "$usr/share/metainfo/example.quarzelgeochem.Quarzel.metainfo.xml"'
done
for item in "TAS Diagram" "Import CSV" "Export View"; do
  check "the manual page names $item" 'zcat "$usr/share/man/man1/quarzel.1.gz" | tr "\n" " " | grep -q "$item"'
  check "the metainfo names $item" 'tr "\\n" " " <"$usr/share/metainfo/example.quarzelgeochem.Quarzel.metainfo.xml" | grep -q "$item"'
done
if command -v desktop-file-validate >/dev/null; then
  check "desktop entry is valid" 'desktop-file-validate "$usr/share/applications/example.quarzelgeochem.Quarzel.desktop"'
else skip "desktop-file-validate"; fi
if command -v appstreamcli >/dev/null; then
  check "metainfo is valid" 'appstreamcli validate --no-net "$usr/share/metainfo/example.quarzelgeochem.Quarzel.metainfo.xml" >/dev/null'
else skip "appstreamcli"; fi

# The shipped program has no documentation hooks; its twin with them,
# put beside it, prints for the checks below.
check "the installed program holds no documentation hooks" '! grep -aq QUARZEL_REPORT_PDF "$usr/bin/quarzel"'
cp "$build/bin/quarzel-doc" "$usr/bin/quarzel-doc"

tree_sum() { (cd "$usr" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
before=$(tree_sum)
# Starts the program as installed for one user; it prints its first row to
# a PDF and ends.
start() {
  env -u XDG_DATA_HOME HOME="$1" QT_QPA_PLATFORM=offscreen QUARZEL_REPORT_PDF="$1/first.pdf" \
    timeout 60 "$usr/bin/quarzel-doc" >/dev/null 2>&1
}
first_row() { pdftotext "$1/first.pdf" - 2>/dev/null | sed -n '5p'; }
user_db() { echo "$1/.local/share/quarzel/quarzdb32.mdb"; }
rename_first() {
  python3 -c 'import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); c.execute("UPDATE DOZIRO1 SET Rockname = ? WHERE ID = (SELECT min(ID) FROM DOZIRO1)", (sys.argv[2],)); c.commit()' "$1" "$2"
}

ann="$dir/ann" bob="$dir/bob"
mkdir -p "$ann" "$bob"
start "$ann"
check "first start seeds the data folder" 'cmp -s "$(user_db "$ann")" "$usr/share/quarzel/quarzdb32.mdb" && cmp -s "$ann/.local/share/quarzel/tarnvel.mdw" "$usr/share/quarzel/tarnvel.mdw"'
check "the program printed from it" '[ -n "$(first_row "$ann")" ]'
# An edit in the user's copy is what the program shows next time.
rename_first "$(user_db "$ann")" "AAA Edited by Ann"
start "$ann"
check "the user's copy is the one opened, and kept" '[ "$(first_row "$ann")" = "AAA Edited by Ann" ]'
start "$bob"
check "another user gets a copy of their own" '[ -s "$(user_db "$bob")" ] && [ "$(first_row "$bob")" != "AAA Edited by Ann" ]'
check "the installed tree is unchanged" '[ "$(tree_sum)" = "$before" ]'
check "no temporary left" '[ -z "$(find "$ann/.local/share/quarzel" -name "*.part")" ]'

# A file where the data folder should be: the program shows its message and
# waits for the user (it is still running when the time runs out), rather
# than crashing; nothing is written.
blocked="$dir/blocked"
mkdir -p "$blocked/.local/share"
echo "in the way" >"$blocked/.local/share/quarzel"
env -u XDG_DATA_HOME HOME="$blocked" QT_QPA_PLATFORM=offscreen timeout 5 "$usr/bin/quarzel" >/dev/null 2>&1; rc=$?
check "a blocked data folder is reported, not a crash" '[ $rc -eq 124 ] && [ "$(cat "$blocked/.local/share/quarzel")" = "in the way" ]'

if command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null; then
  (cd "$build" && cpack -G DEB -D CPACK_OUTPUT_FILE_PREFIX="$dir/pkg" >/dev/null 2>&1)
  deb=$(ls "$dir"/pkg/quarzel_*_amd64.deb 2>/dev/null | head -n 1)
  check "the package is built" '[ -n "$deb" ]'
  if [ -n "$deb" ]; then
    files=$(dpkg-deb -c "$deb")
    for f in ./usr/bin/quarzel ./usr/bin/quarzel-db ./usr/share/quarzel/quarzdb32.mdb \
             ./usr/share/quarzel/STONARC.CHM ./usr/share/applications/example.quarzelgeochem.Quarzel.desktop; do
      check "package holds $f" 'printf "%s\n" "$files" | grep -q " $f\$"'
    done
    check "the package holds no quarzel-doc" '! printf "%s\n" "$files" | grep -q quarzel-doc'
    depends=$(dpkg-deb -f "$deb" Depends)
    for d in libqt6widgets6 libsqlite3-0 libsodium23 libcurl4 libchm1 xdg-utils; do
      check "package depends on $d" 'printf "%s" "$depends" | grep -q "$d"'
    done
  fi
else
  skip "dpkg-deb or dpkg-shlibdeps absent: no package built"
fi

echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
