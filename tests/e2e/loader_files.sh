#!/usr/bin/env bash
# Only our messages reach stderr, never a decoder's own: not for a picture
# it reads with a complaint, nor for one it refuses. Pictures too large for
# the memory are refused with their message before they are read:
# glintor-render in an address space of 1 GB, given sparse
# files whose headers claim 20000 x 20000 pixels (10 GB while shown). The
# sanitizers reserve terabytes of address space, so only plain builds can
# run under such a limit. Usage: loader_files.sh PICTURES_DIR
source "$(dirname "$0")/lib.sh"
pictures=$1
need_tools timeout truncate dd cmp

# refused MESSAGE FILE: glintor-render exits 1, its stderr MESSAGE for FILE.
refused() {
  local code=0
  timeout -k 5 10 "$GLINTOR_RENDER" "$2" "$work/out.bmp" >/dev/null 2>"$work/stderr" || code=$?
  [ "$code" = 1 ] || fail "$2: exit code $code, not 1; stderr: $(head -c 2000 "$work/stderr")"
  # shellcheck disable=SC2059
  printf "$1" "$2" | cmp -s - <(head -c -1 "$work/stderr") || fail "$2: stderr says '$(cat "$work/stderr")'"
}

"$GLINTOR_RENDER" "$pictures/png/rgb-8-text-checksum-wrong.png" "$work/out.bmp" >/dev/null 2>"$work/stderr" &&
  [ ! -s "$work/stderr" ] || fail "a picture that loads: stderr says '$(cat "$work/stderr")'"
# Each refusal on one line, whatever the terminal's width, then what
# would have been read: MESSAGE|FILE.
while IFS='|' read -r message file; do
  refused "$message" "$pictures/$file"
done <<'CASES'
The file %s don't found, the application will be closed.|png/wrong-checksum.png
The file %s is invalid, or smaller.\nPictures must be at least 100 pixels a side; this one is 0 × 200.|bmp/0x200.bmp
The file %s is too large, at most 32768 pixels a side.\nThis one is 32769 × 100.|png/32769x100-header.png
The format of %s is not supported.\nGlintor reads BMP (24 or 32 bits a pixel), PNG and JPEG files.|bmp/pal8.bmp
The format of %s is not supported.\nGlintor reads BMP, PNG and JPEG files.|text.bmp
CASES
pass "only our messages on stderr, each on a line of its own"
if [ "${GLINTOR_SANITIZED:-0}" = 1 ]; then
  pass "memory refusal under an address-space limit: skipped in a sanitizer build"
  exit 0
fi

cp "$pictures/bmp/rgb24-w100.bmp" "$work/big.bmp"
printf '\x20\x4e\x00\x00\x20\x4e\x00\x00' | dd of="$work/big.bmp" bs=1 seek=18 conv=notrunc status=none
truncate -s $((54 + 60000 * 20000)) "$work/big.bmp"
head -c 33 "$pictures/png/rgb-8.png" >"$work/big.png"
# The sides and IHDR's checksum, then enough pixel data for the sides: one
# IDAT chunk of 2 MB of zeros with its checksum, then IEND.
printf '\x00\x00\x4e\x20\x00\x00\x4e\x20' | dd of="$work/big.png" bs=1 seek=16 conv=notrunc status=none
printf '\x6c\x12\xd1\x6e' | dd of="$work/big.png" bs=1 seek=29 conv=notrunc status=none
printf '\x00\x1e\x84\x80IDAT' >>"$work/big.png"
truncate -s $((33 + 8 + 2000000)) "$work/big.png"
printf '\xc7\x5b\x76\x12\x00\x00\x00\x00IEND\xae\x42\x60\x82' >>"$work/big.png"
# A scan of 30 MB without Huffman tables (as in motion-JPEG frames, whose
# decoders take the standard ones), then EOI.
printf '\xff\xd8\xff\xc0\x00\x11\x08\x4e\x20\x4e\x20\x03\x01\x11\x00\x02\x11\x00\x03\x11\x00' >"$work/big.jpg"
printf '\xff\xda\x00\x0c\x03\x01\x00\x02\x00\x03\x00\x00\x3f\x00' >>"$work/big.jpg"
truncate -s 30000000 "$work/big.jpg"
printf '\xff\xd9' >>"$work/big.jpg"
(
  ulimit -v 1048576
  for file in "$work/big.bmp" "$work/big.png" "$work/big.jpg"; do
    refused 'There is not enough memory for %s, the application will be closed.' "$file"
  done
  # Memory that runs out after the picture is read: the frame buffers' largest.
  LD_PRELOAD=$GLINTOR_FAIL_ALLOCATIONS GLINTOR_FAIL_ALLOCATIONS_OVER=100000 \
    refused 'There is not enough memory for %s, the application will be closed.' "$pictures/bmp/rgb24-w101.bmp"
  # A picture that fits still loads under the same limit.
  "$GLINTOR_RENDER" "$pictures/bmp/rgb24-w101.bmp" "$work/fits.bmp" >/dev/null || fail "101 x 104 refused with 1 GB"
) || exit 1
pass "pictures too large for the memory refused with their message, before they are read"
