#!/usr/bin/env bash
# make-media.sh FOLDER: one small file of each kind the signature search
# knows, written by the real encoders (ImageMagick, ffmpeg, exiftool, cjpeg,
# zip);
# the PDF and the office containers, which no installed tool writes, by
# Python as their writers lay them out. Exits 77 when a tool is missing.
set -euo pipefail
out=$1
convert=/usr/bin/convert
for tool in "$convert" ffmpeg exiftool cjpeg python3; do
  command -v "$tool" >/dev/null 2>&1 || { echo "needs $tool" >&2; exit 77; }
done
mkdir -p "$out"
q() { "$@" >/dev/null 2>&1; }
q "$convert" -seed 1 -size 320x240 plasma:fractal -quality 85 "$out/photo.jpg"
q "$convert" "$out/photo.jpg" -resize 80x60 "$out/thumb.jpg"
q exiftool -overwrite_original -Make=Canon "-ThumbnailImage<=$out/thumb.jpg" "$out/photo.jpg"
rm "$out/thumb.jpg"
q "$convert" -seed 2 -size 320x240 plasma:fractal -interlace Plane -quality 80 "$out/progressive.jpg"
q "$convert" -seed 8 -size 320x240 plasma:fractal ppm:"$out/restart.ppm"
cjpeg -restart 1 -quality 85 "$out/restart.ppm" > "$out/restart.jpg"
rm "$out/restart.ppm"
q "$convert" -seed 3 -size 200x150 plasma:fractal "$out/picture.png"
q "$convert" -seed 4 -size 120x90 plasma:fractal "$out/picture.gif"
q "$convert" -seed 5 -size 64x48 plasma:fractal "$out/picture.bmp"
q ffmpeg -y -f lavfi -i "testsrc2=duration=1:size=160x120:rate=10" -c:v libx264 -preset veryfast "$out/clip.mp4"
q ffmpeg -y -f lavfi -i "testsrc=duration=1:size=160x120:rate=10" -c:v libx264 -preset veryfast "$out/clip.mov"
q ffmpeg -y -f lavfi -i "testsrc=duration=1:size=160x120:rate=10" -c:v mpeg4 "$out/clip.avi"
q ffmpeg -y -f lavfi -i "sine=frequency=440:duration=1" "$out/sound.wav"
q ffmpeg -y -f lavfi -i "sine=frequency=440:duration=2" -c:a libmp3lame -metadata title=Lied "$out/tagged.mp3"
q ffmpeg -y -f lavfi -i "sine=frequency=330:duration=2" -c:a libmp3lame -write_xing 0 -id3v2_version 0 "$out/bare.mp3"
q ffmpeg -y -f lavfi -i "sine=frequency=550:duration=2" -c:a libvorbis "$out/sound.ogg"
q "$convert" -seed 6 -size 160x120 plasma:fractal -compress lzw "$out/picture.tif"
q "$convert" -seed 7 -size 160x120 plasma:fractal "$out/picture.psd"
q ffmpeg -y -f lavfi -i "sine=frequency=660:duration=2" -c:a flac "$out/sound.flac"
q ffmpeg -y -f lavfi -i "anullsrc=r=44100:cl=mono" -t 1 -c:a flac "$out/silence.flac"
q ffmpeg -y -f lavfi -i "testsrc=duration=1:size=160x120:rate=25" -c:v mpeg2video -f vob "$out/clip.mpg"
python3 "$(dirname "$0")/jpeg-to-pdf.py" "$out/photo.jpg" 320 240 "$out/document.pdf"
python3 - "$out" <<'PY'
import os, sys, zipfile
out = sys.argv[1]
jpeg = open(os.path.join(out, "photo.jpg"), "rb").read()
text = "".join("line %d of the text\n" % i for i in range(2000))
with zipfile.ZipFile(os.path.join(out, "archive.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("one.txt", text)
    z.writestr("photo.jpg", jpeg, zipfile.ZIP_STORED)
with zipfile.ZipFile(os.path.join(out, "letter.docx"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("[Content_Types].xml", "<Types/>")
    z.writestr("word/document.xml", "<w:document>" + text + "</w:document>")
with zipfile.ZipFile(os.path.join(out, "letter.odt"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("mimetype", "application/vnd.oasis.opendocument.text", zipfile.ZIP_STORED)
    z.writestr("content.xml", "<office:document>" + text + "</office:document>")
open(os.path.join(out, "notes.txt"), "w").write(text)
# A camera's JPEG with a large preview after its own image, listed in an
# MPF segment (APP2), as Nikon, Sony and Fujifilm cameras write them.
import struct
def mpf_jpeg(primary, preview):
    def segment(first_size, second_size, second_offset):
        entries = struct.pack("<IIIHH", 0x20030000, first_size, 0, 0, 0) + struct.pack("<IIIHH", 0x00010002, second_size, second_offset, 0, 0)
        ifd = struct.pack("<H", 3) + struct.pack("<HHI4s", 0xB000, 7, 4, b"0100") + struct.pack("<HHII", 0xB001, 4, 1, 2)
        ifd += struct.pack("<HHII", 0xB002, 7, len(entries), 8 + 2 + 3 * 12 + 4) + struct.pack("<I", 0)
        body = b"MPF\0" + b"II*\0" + struct.pack("<I", 8) + ifd + entries
        return b"\xff\xe2" + struct.pack(">H", len(body) + 2) + body
    size = len(primary) + len(segment(0, 0, 0))
    tiff = 2 + 4 + 4  # SOI, marker and length, "MPF\0"
    return primary[:2] + segment(size, len(preview), size - tiff) + primary[2:] + preview
open(os.path.join(out, "camera.jpg"), "wb").write(mpf_jpeg(jpeg, open(os.path.join(out, "progressive.jpg"), "rb").read()))
# A GIMP image, laid out as GIMP 2.10 writes one (version 11, 64-bit
# pointers, one layer of one uncompressed tile, then the hierarchy's empty
# smaller level); GIMP itself is too large a thing to install for a test.
def xcf():
    be = lambda fmt, *v: struct.pack(">" + fmt, *v)
    out = bytearray(b"gimp xcf v011\0" + be("IIII", 64, 48, 0, 150))
    out += be("II", 17, 1) + b"\0" + be("II", 0, 0)           # compression: none
    layer_pointer = len(out)
    out += be("QQQ", 0, 0, 0)                                   # one layer, no channel
    layer = len(out)
    out[layer_pointer:layer_pointer + 8] = be("Q", layer)
    name = b"Hintergrund\0"
    out += be("IIII", 64, 48, 0, len(name)) + name + be("II", 0, 0)
    hierarchy_pointer = len(out)
    out += be("QQ", 0, 0)                                       # hierarchy, no mask
    hierarchy = len(out)
    out[hierarchy_pointer:hierarchy_pointer + 8] = be("Q", hierarchy)
    out += be("III", 64, 48, 3)
    levels = len(out)
    out += be("QQQ", 0, 0, 0)                                   # the level, an empty one, the end
    level = len(out)
    out[levels:levels + 8] = be("Q", level)
    out += be("II", 64, 48)
    tiles = len(out)
    out += be("QQ", 0, 0)
    tile = len(out)
    out[tiles:tiles + 8] = be("Q", tile)
    out += bytes((x * 7 + y * 3) % 256 for y in range(48) for x in range(64 * 3))
    empty = len(out)
    out[levels + 8:levels + 16] = be("Q", empty)
    out += be("III", 32, 24, 0)
    return bytes(out)
open(os.path.join(out, "image.xcf"), "wb").write(xcf())
# Two Ogg streams one after the other: a chained file, as players play them.
sound = open(os.path.join(out, "sound.ogg"), "rb").read()
open(os.path.join(out, "chained.ogg"), "wb").write(sound + sound)
open(os.path.join(out, "letter.rtf"), "w").write("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 " + text.replace("\n", "\\par\n") + "}")
import gzip, sqlite3
open(os.path.join(out, "notes.txt.gz"), "wb").write(gzip.compress(text.encode(), mtime=0))
db = sqlite3.connect(os.path.join(out, "contacts.sqlite"))
db.execute("create table people (name text, note text)")
db.executemany("insert into people values (?, ?)", [("Person %d" % i, text[: 100 + i]) for i in range(300)])
db.commit()
db.close()
# A compound file as Word lays one out: header, one table sector, one
# directory sector, the stream in 8 sectors.
import struct
sector = 512
stream = (text * 2).encode()[: 8 * sector]
fat = [0xFFFFFFFD, 0xFFFFFFFE] + [3 + i for i in range(7)] + [0xFFFFFFFE]
fat += [0xFFFFFFFF] * (128 - len(fat))
header = bytearray(512)
header[0:8] = bytes([0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1])
struct.pack_into("<HHHHH", header, 24, 0x3E, 3, 0xFFFE, 9, 6)
struct.pack_into("<IIIIIIII", header, 40, 0, 1, 1, 0, 4096, 0xFFFFFFFE, 0, 0xFFFFFFFE)
struct.pack_into("<I", header, 72, 0)
struct.pack_into("<I", header, 76, 0)
for i in range(1, 109):
    struct.pack_into("<I", header, 76 + 4 * i, 0xFFFFFFFF)
def entry(name, kind, start, size, child=0xFFFFFFFF):
    e = bytearray(128)
    encoded = (name + "\0").encode("utf-16-le")
    e[0:len(encoded)] = encoded
    struct.pack_into("<HBB", e, 64, len(encoded), kind, 1)
    struct.pack_into("<III", e, 68, 0xFFFFFFFF, 0xFFFFFFFF, child)
    struct.pack_into("<II", e, 116, start, size)
    return bytes(e)
directory = entry("Root Entry", 5, 0xFFFFFFFE, 0, 1) + entry("WordDocument", 2, 2, len(stream)) + bytes(256)
ole = bytes(header) + struct.pack("<128I", *fat) + directory + stream
open(os.path.join(out, "letter.doc"), "wb").write(ole)
# A RAR 5 archive storing one file, as rar lays it out (no encoder for RAR is
# free to install).
import zlib
def vint(n):
    b = bytearray()
    while True:
        b.append((n & 0x7F) | (0x80 if n > 0x7F else 0))
        n >>= 7
        if not n:
            return bytes(b)
def block(body):
    sized = vint(len(body)) + body
    return struct.pack("<I", zlib.crc32(sized)) + sized
payload = text.encode()[:5000]
name = b"notes.txt"
rar = bytes([0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00])
rar += block(vint(1) + vint(0) + vint(0))
rar += block(vint(2) + vint(2) + vint(len(payload)) + vint(4) + vint(len(payload)) + vint(0o644) +
             struct.pack("<I", zlib.crc32(payload)) + vint(0) + vint(1) + vint(len(name)) + name) + payload
rar += block(vint(5) + vint(0) + vint(0))
open(os.path.join(out, "notes.rar"), "wb").write(rar)
PY
