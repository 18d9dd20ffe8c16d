#!/usr/bin/env bash
# Draws the program's icons and the About box bitmap into res/ with ImageMagick.
# The build does not run this: the generated .ico and .bmp files are committed. Run it again
# after changing a drawing here (ImageMagick: apt-get install imagemagick).
#
#   res/Veltrane.ico  program icon (16, 32, 48 px)       res/play.ico     Play (16, 32 px)
#   res/record.ico    Record (16, 32 px)                  res/stop.ico     Stop
#   res/pause.ico     Pause                               res/rewind.ico   Fast rewind
#   res/forward.ico   Fast forward                        res/about.bmp    About box, 48 x 48, 24 bit
#
# Every image is drawn 8 times larger in a coordinate system whose integer values are the edges
# of the final pixels, then averaged down, so edges are smooth and straight lines stay crisp.
# The 32 px transport glyphs keep to rows 6..26: the buttons are about 29 px high and clip the
# outer rows of a 32 px icon.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
res="$root/res"

# Some machines put a stand-in named convert first on the PATH: use a real ImageMagick.
magick=""
for candidate in magick convert-im6.q16 convert-im6 /usr/bin/convert convert; do
    if command -v "$candidate" >/dev/null 2>&1 &&
        "$candidate" -version 2>/dev/null | grep -q '^Version: ImageMagick'; then
        magick=$candidate
        break
    fi
done
if [[ -z "$magick" ]]; then
    echo "ImageMagick is needed: apt-get install imagemagick" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

supersample=8

# draw <size> <units> <out.png> <mvg>: draws mvg, given in a square of <units> coordinates, on a
# transparent <size> x <size> image.
draw() {
    local size=$1 units=$2 out=$3 mvg=$4
    local big=$((size * supersample))
    local scale
    scale=$(awk -v b="$big" -v u="$units" 'BEGIN { printf "%.6f", b / u }')
    "$magick" -size "${big}x${big}" xc:none \
        -draw "affine $scale,0,0,$scale,-0.5,-0.5 $mvg" \
        -scale "${size}x${size}" "PNG32:$out"
}

# Colours.
red_fill='#e02a22'
red_edge='#7c0d0a'
green_fill='#2fa64a'
green_edge='#125a22'
dark_fill='#46556b'
dark_edge='#17202b'

# --- Transport glyphs: 16 px and 32 px drawings ----------------------------------------------

record16="fill $red_edge circle 8,8 8,14
fill $red_fill circle 8,8 8,13
fill #ffffff fill-opacity 0.45 ellipse 6.3,5.8 2,1.4 0,360"
record32="fill $red_edge circle 16,16 16,26
fill $red_fill circle 16,16 16,25
fill #ffffff fill-opacity 0.45 ellipse 12.8,11.8 3.6,2.4 0,360"

play16="stroke $green_edge stroke-width 1 stroke-linejoin round fill $green_fill
polygon 4.5,2.5 4.5,13.5 13.5,8"
play32="stroke $green_edge stroke-width 1.2 stroke-linejoin round fill $green_fill
polygon 10.5,6.5 10.5,25.5 25,16"

pause16="stroke $dark_edge stroke-width 1 fill $dark_fill
rectangle 3.5,2.5 6.5,13.5
rectangle 9.5,2.5 12.5,13.5"
pause32="stroke $dark_edge stroke-width 1 fill $dark_fill
rectangle 8.5,6.5 13.5,25.5
rectangle 18.5,6.5 23.5,25.5"

stop16="stroke $dark_edge stroke-width 1 fill $dark_fill
rectangle 3.5,3.5 12.5,12.5"
stop32="stroke $dark_edge stroke-width 1 fill $dark_fill
rectangle 7.5,7.5 24.5,24.5"

rewind16="stroke $dark_edge stroke-width 1 stroke-linejoin round fill $dark_fill
polygon 8.5,3.5 8.5,12.5 1.5,8
polygon 14.5,3.5 14.5,12.5 7.5,8"
rewind32="stroke $dark_edge stroke-width 1.2 stroke-linejoin round fill $dark_fill
polygon 16.5,7.5 16.5,24.5 5,16
polygon 27.5,7.5 27.5,24.5 16,16"

forward16="stroke $dark_edge stroke-width 1 stroke-linejoin round fill $dark_fill
polygon 7.5,3.5 7.5,12.5 14.5,8
polygon 1.5,3.5 1.5,12.5 8.5,8"
forward32="stroke $dark_edge stroke-width 1.2 stroke-linejoin round fill $dark_fill
polygon 15.5,7.5 15.5,24.5 27,16
polygon 4.5,7.5 4.5,24.5 16,16"

make_icon() {
    local name=$1 mvg16=$2 mvg32=$3
    draw 16 16 "$work/$name-16.png" "$mvg16"
    draw 32 32 "$work/$name-32.png" "$mvg32"
    "$magick" "$work/$name-16.png" "$work/$name-32.png" "$res/$name.ico"
}

make_icon record "$record16" "$record32"
make_icon play "$play16" "$play32"
make_icon pause "$pause16" "$pause32"
make_icon stop "$stop16" "$stop32"
make_icon rewind "$rewind16" "$rewind32"
make_icon forward "$forward16" "$forward32"

# --- Program icon: a 9-pin serial connector with a red record dot -----------------------------

shell_fill='#c3ccd6'
shell_edge='#3d4a58'
socket_fill='#25384f'
pin_fill='#f2cf4a'

# 16 px: simplified, one-pixel pins.
program16="stroke $shell_edge stroke-width 1 stroke-linejoin round fill $shell_fill
polygon 0.5,1.5 15.5,1.5 13.5,10.5 2.5,10.5
stroke none fill $socket_fill
polygon 2,3 14,3 12.5,9 3.5,9
fill $pin_fill
rectangle 3,4 4,5 rectangle 5,4 6,5 rectangle 7,4 8,5 rectangle 9,4 10,5 rectangle 11,4 12,5
rectangle 4,7 5,8 rectangle 6,7 7,8 rectangle 8,7 9,8 rectangle 10,7 11,8
fill #ffffff circle 12,12 12,16
fill $red_edge circle 12,12 12,15.5
fill $red_fill circle 12,12 12,14.7
fill #ffffff fill-opacity 0.5 rectangle 10,10 12,11"

# 32 units: used for the 32 px and 48 px images and the About bitmap.
program32="stroke $shell_edge stroke-width 1 stroke-linejoin round fill $shell_fill
polygon 1.5,4.5 30.5,4.5 26,21.5 6,21.5
stroke #ffffff stroke-opacity 0.7 line 3,6 29,6
stroke none fill $socket_fill
polygon 4.5,7.5 27.5,7.5 24,19 8,19
fill $pin_fill stroke #8a6a10 stroke-opacity 1 stroke-width 0.6
circle 8,11 8,12.5 circle 12,11 12,12.5 circle 16,11 16,12.5 circle 20,11 20,12.5
circle 24,11 24,12.5
circle 10,15.5 10,17 circle 14,15.5 14,17 circle 18,15.5 18,17 circle 22,15.5 22,17
stroke none
fill #ffffff circle 24,24 24,32
fill $red_edge circle 24,24 24,31
fill $red_fill circle 24,24 24,30
fill #ffffff fill-opacity 0.45 ellipse 21.6,20.8 2.6,1.7 0,360"

draw 16 16 "$work/program-16.png" "$program16"
draw 32 32 "$work/program-32.png" "$program32"
draw 48 32 "$work/program-48.png" "$program32"
"$magick" "$work/program-16.png" "$work/program-32.png" "$work/program-48.png" "$res/Veltrane.ico"

# About box bitmap: the 48 px program icon on the dialog's light grey, 24 bit, no alpha.
"$magick" "$work/program-48.png" -background '#f0f0f0' -alpha remove -alpha off \
    -type TrueColor "BMP3:$res/about.bmp"

echo "Wrote icons and bitmap to $res"
