#!/bin/sh
# SPDX-License-Identifier: MIT
# Draws velquor-128.png, the 128 x 128 application icon: the 32 x 32 window icon's picture
# (green inputs on the left, red outputs on the right, crossed by the white switch) drawn
# again at four times the size on a transparent ground. The PNG is kept in the repository;
# run this after changing the drawing. Needs ImageMagick's convert.
set -eu
cd "$(dirname "$0")"
convert -size 128x128 xc:none \
    -fill '#303848' -stroke '#101010' -strokewidth 4 \
    -draw 'roundrectangle 6,6 121,121 18,18' \
    -stroke none \
    -fill '#40D040' -draw 'rectangle 22,28 51,51' -draw 'rectangle 22,76 51,99' \
    -fill '#D04040' -draw 'rectangle 76,28 105,51' -draw 'rectangle 76,76 105,99' \
    -fill none -stroke '#F0F0F0' -strokewidth 10 -draw 'stroke-linecap round' \
    -draw 'line 50,38 77,89' -draw 'line 77,38 50,89' \
    -strip -define png:exclude-chunks=date,time \
    PNG32:velquor-128.png
