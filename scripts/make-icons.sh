#!/usr/bin/env bash
# Draws the hicolor icons from resources/icons/chromola.svg; run after the
# drawing changes and commit the pictures.
set -euo pipefail
icons="$(cd "$(dirname "${BASH_SOURCE[0]}")/../resources/icons" && pwd)"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" "$icons/chromola.svg" -o "$icons/chromola-$size.png"
done
