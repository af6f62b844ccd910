#!/usr/bin/env bash
# Builds the analysis data set from real camera photos and real recordings
# shipped in Debian packages (installed here with apt; the analysis does not
# run in CI, so these are not test packages).
#   tools/steganalysis/dataset.sh [DIR]     (default build-analysis/data)
# Pictures: per photo two 512x512 crops at full resolution and two after
# resizing the shorter side to 768 (24-bit BMP). Report set: desktop
# wallpapers that are camera photos; development set (for tuning only, 256x256
# crops): OpenCV's sample photos. Sounds: speech and instrument recordings as
# 16-bit segments of at most 2 s, and the same as 24-bit (low byte zero).
# DIR/sources.txt records the package versions and every file used.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="${1:-$root/build-analysis/data}"

ANALYSIS_PACKAGES=(
  imagemagick sox
  mate-backgrounds lomiri-wallpapers-16.04 lomiri-wallpapers-20.04 plasma-workspace-wallpapers
  opencv-doc
  alsa-utils lmms-common tuxtype-data gnome-audio
)
source "$root/tools/deps.sh"
kalmira_install_missing "${ANALYSIS_PACKAGES[@]}"

bg=/usr/share/backgrounds
kde=/usr/share/wallpapers
REPORT_PHOTOS=(
  $bg/mate/nature/{Aqua,Blinds,Dune,FreshFlower,Garden,GreenMeadow,LadyBird,RainDrops,Storm,TwoWings,Wood,YellowFlower}.jpg
  $bg/mate/abstract/Elephants_3840x2160.jpg
  $bg/{Bridge_by_Sander_Klootwijk,Dragonfly_by_Bolly,Picture_0B_by_freespace,Picture_1A_by_freespace}.jpg
  $bg/{Wine_by_Jakkub_Mede,aitzgorri_by_Aitzol_Berasategi,analogpattern_by_Peter_Nerlich,free_by_Peter_Nerlich}.jpg
  $bg/{friends_by_Aitzol_Berasategi,greentock_by_Peter_Nerlich,life_by_Aitzol_Berasategi}.jpg
  $bg/{picosdeeuropa_by_Aitzol_Berasategi,seeding_by_Clements_Engelhardt,sunset_by_Aitzol_Berasategi}.jpg
  $bg/Kleiber_by_Lukas_Baubkus.jpg
  $kde/{BytheWater,ColdRipple,ColorfulCups,DarkestHour,EveningGlow,FallenLeaf,Grey,Kite,OneStandsOut,Path,summer_1am}/contents/images/2560x1600.jpg
)
cv=/usr/share/doc/opencv-doc/examples/data
DEV_PHOTOS=(
  $cv/{aero1,aero3,aloeL,apple,baboon,board,building,ela_original,fruits,leuvenA}.jpg
  $cv/{licenseplate_motion,orange,pca_test1,squirrel_cls,stuff,text_defocus}.jpg
  $cv/{chicky_512,graf1}.png
)
# Rendered artwork never stored as JPEG: only for checking the JPEG-origin rule.
ART_PNGS=($kde/{Canopee,Cascade,Kokkini,Opal}/contents/images/3840x2160.png
  $kde/{Altai,MilkyWay}/contents/images/5120x2880.png)
a=/usr/share/sounds/alsa
l=/usr/share/lmms/samples
RECORDINGS=(
  $a/{Front_Center,Front_Left,Front_Right,Rear_Center,Rear_Left,Rear_Right,Side_Left,Side_Right}.wav
  $l/latin/latin_guitar0{1,2,3}.ogg $l/instruments/{flute01,piano02,cello01,trumpet01,violin_fingered01}.ogg
  $l/instruments/{violin_double_stop01,steel_guitar01,church_organ02}.ogg
  $l/misc/{applause01,raving_crowd01,breath01}.ogg
  /usr/share/tuxtype/sounds/cheer.wav /usr/share/tuxtype/themes/dansk/sounds/excuseme.wav
  /usr/share/sounds/card_shuffle.wav
)

# A number in [0, n) from a name, the same on every run.
pick() { echo $(( $(printf '%s' "$1" | cksum | cut -d' ' -f1) % $2 )); }

# crop SRC GROUP SIZE SHORT DIR LIST: two crops at full size, two after resizing.
crop() {
  local src=$1 group=$2 size=$3 short=$4 dir=$5 list=$6 w h tmp=$5/.resized.png i file
  for pass in native resized; do
    if [ $pass = resized ]; then
      convert "$src" -alpha off -resize "${short}x${short}^" "$tmp"
      src=$tmp
    fi
    read -r w h < <(identify -format '%w %h\n' "$src" | head -1)
    for i in 1 2; do
      file="$dir/$group-$pass$i.bmp"
      convert "$src" -alpha off -crop "${size}x${size}+$(pick "$group$pass$i x" $((w - size + 1)))+$(pick "$group$pass$i y" $((h - size + 1)))" \
        +repage -type TrueColor "BMP3:$file"
      printf '%s\t%s\n' "$group" "$file" >>"$list"
    done
  done
  rm -f "$tmp"
}

pictures() {  # pictures NAME SIZE SHORT PHOTO...
  local name=$1 size=$2 short=$3
  shift 3
  mkdir -p "$out/$name"
  : >"$out/$name.list"
  for p in "$@"; do
    [ -f "$p" ] || { echo "missing $p" >&2; exit 1; }
    local group
    group=$(basename "$(dirname "$(dirname "$(dirname "$p")")")")
    case $p in "$kde"/*) ;; *) group=$(basename "${p%.*}") ;; esac
    crop "$p" "$group" "$size" "$short" "$out/$name" "$out/$name.list"
    echo "$name $p" >>"$out/sources.txt"
  done
  # Crops at full size of JPEG photos keep the grid; resized ones do not.
  grep -- '-native' "$out/$name.list" >"$out/$name-native.list"
  grep -- '-resized' "$out/$name.list" >"$out/$name-resized.list"
}

sounds() {
  mkdir -p "$out/s16" "$out/s24"
  : >"$out/s16.list"
  : >"$out/s24.list"
  for r in "${RECORDINGS[@]}"; do
    [ -f "$r" ] || { echo "missing $r" >&2; exit 1; }
    local group dur k
    group=$(basename "${r%.*}")
    dur=$(soxi -D "$r")
    for k in 0 1 2 3; do
      awk -v d="$dur" -v k="$k" 'BEGIN { exit !(k == 0 || d >= 2 * (k + 1)) }' || break
      sox "$r" -b 16 "$out/s16/$group-$k.wav" trim $((2 * k)) 2
      sox "$out/s16/$group-$k.wav" -b 24 "$out/s24/$group-$k.wav"
      printf '%s\t%s\n' "$group" "$out/s16/$group-$k.wav" >>"$out/s16.list"
      printf '%s\t%s\n' "$group" "$out/s24/$group-$k.wav" >>"$out/s24.list"
    done
    echo "sound $r" >>"$out/sources.txt"
  done
}

mkdir -p "$out"
dpkg-query -W -f '# ${Package} ${Version}\n' "${ANALYSIS_PACKAGES[@]}" >"$out/sources.txt"
pictures report 512 768 "${REPORT_PHOTOS[@]}"
pictures dev 256 384 "${DEV_PHOTOS[@]}"
mkdir -p "$out/art"
: >"$out/art.list"
for p in "${ART_PNGS[@]}"; do
  g=$(basename "$(dirname "$(dirname "$(dirname "$p")")")")
  convert "$p" -alpha off -crop "512x512+$(pick "$g x" 3000)+$(pick "$g y" 1500)" +repage -type TrueColor "BMP3:$out/art/$g.bmp"
  printf '%s\t%s\n' "$g" "$out/art/$g.bmp" >>"$out/art.list"
  echo "art $p" >>"$out/sources.txt"
done
sounds
echo "$(wc -l <"$out/report.list") report crops, $(wc -l <"$out/dev.list") development crops," \
  "$(wc -l <"$out/s16.list") sound segments in $out" >&2
