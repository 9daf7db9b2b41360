#!/usr/bin/env bash
# media_corpus.sh FOLDER: fills FOLDER with what a camera card or a USB disk
# holds, made by the real tools: JPEG photos (ImageMagick), PNG pictures,
# H.264 MP4 and MPEG-4 AVI videos, MP3, FLAC, Ogg and WAV sound (ffmpeg),
# PDF and text documents, ZIP archives. 64 files, about 15 MB, in folders as a
# camera and a person would make them. The same seed gives the same files.
# The camera's photos carry EXIF with an embedded thumbnail (exiftool), as a
# camera's do. Needs imagemagick, ffmpeg and libimage-exiftool-perl.
set -euo pipefail
dest=$1
convert=${CONVERT:-/usr/bin/convert}
mkdir -p "$dest/DCIM/100CANON" "$dest/DCIM/101CANON" "$dest/Bilder/Urlaub 2026" \
         "$dest/Videos" "$dest/Musik" "$dest/Dokumente/Rechnungen"
q() { "$@" >/dev/null 2>&1; }

# Photos: fractal plasma, which compresses as a photo does, of camera sizes.
for i in $(seq 1 24); do
  folder=100CANON; [ "$i" -gt 16 ] && folder=101CANON
  w=$((1200 + (i % 5) * 160)); h=$((900 + (i % 3) * 120))
  photo=$dest/DCIM/$folder/IMG_$((4000 + i)).JPG
  q "$convert" -seed "$i" -size "${w}x${h}" plasma:fractal -quality $((80 + i % 15)) "$photo"
  q "$convert" "$photo" -resize 160x120 -quality 75 "$dest/thumb.jpg"
  q exiftool -overwrite_original -Make=Canon -Model="EOS 250D" "-DateTimeOriginal=2026:07:$((10 + i)) 12:00:00" \
    "-ThumbnailImage<=$dest/thumb.jpg" "$photo"
done
rm -f "$dest/thumb.jpg"
for i in $(seq 1 6); do
  q "$convert" -seed $((100 + i)) -size 1024x768 plasma:fractal -quality 88 \
    "$dest/Bilder/Urlaub 2026/Strand $i.jpg"
done
for i in $(seq 1 6); do
  q "$convert" -seed $((200 + i)) -size 640x480 plasma:fractal -colors 64 "$dest/Bilder/Grafik $i.png"
done
q "$convert" -seed 300 -size 320x240 plasma:fractal "$dest/Bilder/Animation.gif"
q "$convert" -seed 301 -size 400x300 plasma:fractal "$dest/Bilder/Scan.bmp"

# Videos and sound.
for i in 1 2 3; do
  q ffmpeg -y -f lavfi -i "testsrc2=duration=$((2 + i)):size=640x360:rate=25" \
    -f lavfi -i "sine=frequency=$((300 + 100 * i)):duration=$((2 + i))" \
    -c:v libx264 -preset veryfast -c:a aac -shortest "$dest/DCIM/100CANON/MVI_$((5000 + i)).MP4"
done
q ffmpeg -y -f lavfi -i "testsrc=duration=3:size=320x240:rate=15" -c:v mpeg4 "$dest/Videos/Alt.avi"
q ffmpeg -y -f lavfi -i "mandelbrot=size=480x270:rate=25" -t 3 -c:v libx264 -preset veryfast "$dest/Videos/Fraktal.mov"
for i in 1 2 3 4; do
  q ffmpeg -y -f lavfi -i "sine=frequency=$((220 * i)):duration=$((6 + i))" -c:a libmp3lame -b:a 128k \
    -metadata title="Lied $i" "$dest/Musik/Lied $i.mp3"
done
q ffmpeg -y -f lavfi -i "sine=frequency=440:duration=5" -c:a flac "$dest/Musik/Ton.flac"
q ffmpeg -y -f lavfi -i "sine=frequency=550:duration=5" -c:a libvorbis "$dest/Musik/Ton.ogg"
q ffmpeg -y -f lavfi -i "sine=frequency=660:duration=3" "$dest/Musik/Aufnahme.wav"

# Documents.
for i in 1 2 3; do
  # A scanned invoice: one page, a JPEG in a PDF.
  scan=$dest/Dokumente/Rechnungen/scan$i.jpg
  q "$convert" -seed $((400 + i)) -size 600x800 plasma:fractal -quality 70 "$scan"
  python3 "$(dirname "$0")/../tests/support/jpeg-to-pdf.py" "$scan" 600 800 "$dest/Dokumente/Rechnungen/Rechnung $i.pdf"
  rm "$scan"
done
python3 - "$dest/Dokumente" <<'PY'
import io, os, random, sys, zipfile
random.seed(61)
words = "Haus Baum Wasser Licht Stadt Fluss Berg Wald Zeit Jahr Brief Karte Weg Tag Nacht".split()
def text(n):
    return "\n".join(" ".join(random.choice(words) for _ in range(12)) for _ in range(n)) + "\n"
for i in range(1, 9):
    with open(os.path.join(sys.argv[1], "Notiz %d.txt" % i), "w") as f:
        f.write(text(200 * i))
for i in range(1, 4):
    with zipfile.ZipFile(os.path.join(sys.argv[1], "Archiv %d.zip" % i), "w", zipfile.ZIP_DEFLATED) as z:
        for j in range(1, 4 + i):
            z.writestr("teil%d.txt" % j, text(100 * j))
PY
