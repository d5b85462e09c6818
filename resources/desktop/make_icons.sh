#!/usr/bin/env bash
# Makes the icon's PNG sizes from icon.svg (edit the SVG, not the PNGs):
#   resources/desktop/make_icons.sh
# Needs rsvg-convert (Debian: librsvg2-bin). Running it twice gives the same bytes.
set -euo pipefail
cd "$(dirname "$0")"
command -v rsvg-convert >/dev/null || { echo "rsvg-convert is missing (apt-get install librsvg2-bin)" >&2; exit 1; }
for size in 48 128 256; do
    rsvg-convert --width "$size" --height "$size" --format png --output "icon-$size.png" icon.svg
done
