#!/bin/sh
# Renders the PNG icons from jexfilerecovery.svg with ImageMagick. Run it
# again after changing the SVG; the PNGs are kept in the repository so that
# building needs no image tools.
# Each size is drawn at four times its size and scaled down, which smooths
# the edges the same way at every size.
set -eu
cd "$(dirname "$0")"
for size in 16 32 48; do
  convert -background none -density $((8 * size)) jexfilerecovery.svg \
    -scale "${size}x${size}" -depth 8 -strip "png32:jexfilerecovery-$size.png"
done
