#!/usr/bin/env bash
# Draws the pictures of the POWERLINK ("R...") modules from those of their
# Modbus counterparts: the same front with the model name written in place of
# the counterpart's (ImageMagick). The main program gets "<model>.bmp" and
# "<model>-OFF.bmp" (resources/QMX410Tools/Image); the report program's
# picture of a module category (resources/Rendaval/Image/<category>.bmp) is
# that of the category's first module, as for the other categories.
# Uncompressed 8-bit bitmaps, like every picture the programs read.
#
#     scripts/make_module_pictures.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
app=$root/resources/QMX410Tools/Image
report=$root/resources/Rendaval/Image

# label SOURCE TARGET MODEL: blanks the vertical name field between the LEDs
# and the connector and writes MODEL there, bottom to top.
label() {
  convert "$1" -fill 'srgb(232,232,232)' -draw 'rectangle 3,107 28,168' \
    \( -background 'srgb(232,232,232)' -fill 'srgb(70,70,70)' -font DejaVu-Sans-Condensed -pointsize 9.5 \
       label:"$3" -rotate -90 \) -gravity North -geometry +0+110 -composite \
    -type Palette -compress none "BMP3:$2"
}

# model, Modbus counterpart, category
while read -r model counterpart category; do
  label "$app/$counterpart.bmp" "$app/$model.bmp" "$model"
  label "$app/$counterpart-OFF.bmp" "$app/$model-OFF.bmp" "$model"
  cp "$app/$model.bmp" "$report/$category.bmp"
done <<'EOF'
QMX-R-3108 QMX-1808 RDI
QMX-R-4108 QMX-2808 RDO
QMX-R-3204 QMX-3404 RAI
QMX-R-4204 QMX-4404 RAO
EOF
