#!/bin/bash
# The bash completion of kalmira offers commands, each command's options and,
# for carriers, only BMP and WAV files (and folders): completion_test.sh FILE
set -u
export LC_ALL=C
source "$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" && mkdir ordner && touch bild.bmp KLANG.WAV notiz.txt
failed=0

# expect "WORDS ..." "EXPECTED" : completes the last word of WORDS.
expect() {
    read -r -a COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _kalmira
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    if [ "$got" != "$2 " ]; then
        echo "\"$1\": got \"$got\", expected \"$2 \""
        failed=1
    fi
}

expect "kalmira " "--help --version -V -h capacity convert extract help hide info wipe"
expect "kalmira ex" "extract"
expect "kalmira extract " "KLANG.WAV bild.bmp ordner/"
expect "kalmira hide bild.bmp " "KLANG.WAV bild.bmp notiz.txt ordner/"
expect "kalmira hide --cipher " "aes none rc4"
expect "kalmira hide --cipher aes " "KLANG.WAV bild.bmp ordner/"
expect "kalmira extract --" "--force --help --output --password-file --raw --text"
expect "kalmira convert notiz.txt -o " "bild.bmp ordner/"
expect "kalmira info bild.bmp " ""
exit $failed
