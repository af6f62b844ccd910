#!/usr/bin/env bash
# Makes the PNG and FLAC test carriers of this folder with the programs that
# write such files in the wild: ImageMagick, Pillow, an X screenshot, sox and
# flac. Run it here; the results are checked in (a rerun changes time stamps).
#   needs: imagemagick python3-pil xvfb x11-apps sox flac
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- PNG by ImageMagick: every colour type, depth and interlace method -------
# A smooth plasma with an alpha ramp that is 0 (fully transparent) on the left.
convert -size 40x28 -seed 7 plasma:fractal -blur 0x1 \
  \( -size 28x40 gradient:black-white -rotate 90 -level 10%,100% \) \
  -alpha off -compose copy_opacity -composite "$work/base.png"
for ct in 0 2 4 6; do
  for depth in 8 16; do
    for il in none PNG; do
      name=im_ct${ct}_${depth}$([ $il = PNG ] && echo _i || true).png
      grey=$( [ $ct = 0 ] || [ $ct = 4 ] && echo "-colorspace gray" || true)
      convert "$work/base.png" $grey -depth $depth -interlace $il \
        -define png:color-type=$ct -define png:bit-depth=$depth "$name"
    done
  done
done
# Passes that are empty (3 x 2) and a single column.
convert -size 3x2 -seed 3 plasma:fractal -depth 8 -interlace PNG -define png:color-type=2 im_tiny_i.png
convert -size 1x9 -seed 5 plasma:fractal -colorspace gray -depth 8 -interlace PNG \
  -define png:color-type=0 im_column_i.png
# Refused: a palette picture and a 4-bit grey.
convert "$work/base.png" -alpha off -colors 16 PNG8:im_palette.png
convert "$work/base.png" -alpha off -colorspace gray -depth 4 -define png:color-type=0 \
  -define png:bit-depth=4 im_grey4.png

# --- PNG by Pillow: ancillary chunks of every kind, in both places ----------
/usr/bin/python3 - "$work/base.png" <<'PY'
import struct, sys, zlib
from PIL import Image, PngImagePlugin

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

def insert_before(path, before, kind, data):
    # Pillow writes only the chunks it knows in their usual places.
    png = open(path, "rb").read()
    at = 8
    while png[at + 4:at + 8] != before:
        at += 12 + struct.unpack(">I", png[at:at + 4])[0]
    open(path, "wb").write(png[:at] + chunk(kind, data) + png[at:])

base = Image.open(sys.argv[1]).convert("RGB")
info = PngImagePlugin.PngInfo()
info.add(b"gAMA", struct.pack(">I", 45455))
info.add(b"cHRM", struct.pack(">8I", 31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000))
info.add(b"sBIT", bytes([8, 8, 8]))
info.add(b"tIME", struct.pack(">HBBBBB", 2025, 6, 1, 12, 0, 0))
info.add_text("Title", "Kalmira")
info.add_text("Comment", "zusammengedrückt " * 4, zip=True)
info.add_itxt("Description", "Grüße", lang="de", tkey="Beschreibung")
info.add(b"prVt", b"safe to copy, unknown")
info.add(b"prVt", b"after", after_idat=True)
# The colour key is a colour of the picture, so some pixels are transparent.
key = base.getpixel((5, 5))
base.save("pil_chunks.png", pnginfo=info, transparency=key, dpi=(300, 300),
          icc_profile=b"\0" * 128, exif=b"MM\0\x2a\0\0\0\x08\0\0")
insert_before("pil_chunks.png", b"tRNS", b"PLTE", bytes(range(48)))   # a suggested palette
insert_before("pil_chunks.png", b"IDAT", b"unSF", b"\0" * 28)        # unsafe to copy: left out
insert_before("pil_chunks.png", b"IEND", b"tEXt", b"After\0after the image data")
grey = base.convert("L")
info = PngImagePlugin.PngInfo()
info.add(b"sRGB", b"\0")
grey.save("pil_grey_srgb.png", pnginfo=info, transparency=grey.getpixel((3, 3)))
big = Image.open(sys.argv[1]).convert("RGB").resize((96, 64), Image.BICUBIC)
big.save("pil_photo.png")
PY

# --- PNG screenshot: ImageMagick's import of an X screen --------------------
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 160x120x24 -nolisten tcp &
xvfb=$!
sleep 1
DISPLAY=$display xlogo -geometry 70x60+5+5 &
DISPLAY=$display xclock -geometry 70x70+80+30 &
sleep 1
DISPLAY=$display import -window root screenshot.png
kill %2 %3 "$xvfb" 2>/dev/null || true
wait 2>/dev/null || true

# --- FLAC by sox and flac ---------------------------------------------------
sox -n -r 44100 -b 16 -c 1 "$work/mono16.wav" synth 0.3 sine 440 vol 0.5 dither
flac -s -5 -f -o mono16.flac "$work/mono16.wav"
sox -n -r 44100 -b 24 -c 2 "$work/stereo24.wav" synth 0.3 sine 440 sine 550 vol 0.5 dither
flac -s -8 -f -o stereo24.flac "$work/stereo24.wav"
sox -n -r 48000 -b 16 -c 6 "$work/multi16.wav" synth 0.2 sine 300 sine 400 sine 500 sine 600 sine 700 sine 800 vol 0.3 dither
flac -s -f -o multi16.flac "$work/multi16.wav"
sox -n -r 8000 -b 8 -c 1 "$work/mono8.wav" synth 0.5 sine 300 vol 0.5 dither
flac -s -0 -f -o mono8.flac "$work/mono8.wav"
# 16-bit sound in 24-bit samples: eight low bits always zero.
sox "$work/stereo24.wav" -b 16 "$work/s16.wav" dither
sox "$work/s16.wav" -b 24 "$work/padded24.wav"
flac -s -f -o padded24.flac "$work/padded24.wav"
# sox's own FLAC writer.
sox -n -r 22050 -b 16 -c 2 stereo16_sox.flac synth 0.3 sine 440 sine 660 vol 0.5 dither
# Every kind of metadata block: tags, picture, cue sheet, seek table with a
# placeholder, padding, and an APPLICATION block put in after the tags.
sox -n -r 44100 -b 16 -c 2 "$work/cd.wav" synth 13524s sine 440 sine 660 vol 0.5 dither
printf 'FILE "cd.wav" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n' >"$work/cd.cue"
convert -size 4x4 xc:red "$work/cover.png"
flac -s -f --padding=300 -S 10s -S X --cuesheet="$work/cd.cue" --picture="$work/cover.png" \
  -T TITLE=Kalmira -T "COMMENT=Grüße" -o "$work/meta.flac" "$work/cd.wav"
/usr/bin/python3 - "$work/meta.flac" meta.flac <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
out, at = bytearray(b"fLaC"), 4
while True:
    head = data[at]; length = int.from_bytes(data[at + 1:at + 4], "big")
    block = data[at + 4:at + 4 + length]; at += 4 + length
    out += bytes([head & 0x7F]) + length.to_bytes(3, "big") + block
    if head & 0x7F == 4:                     # after VORBIS_COMMENT
        app = b"Kalm" + b"application data"
        out += bytes([2]) + len(app).to_bytes(3, "big") + app
    if head & 0x80:
        break
# The last block carries the flag.
last = out.rfind(bytes([1]) + (300).to_bytes(3, "big"))
out[last] |= 0x80
open(sys.argv[2], "wb").write(out + data[at:])
PY
ls -l *.png *.flac | awk '{s += $5} END {print s " bytes in " NR " files"}'
