#!/usr/bin/env bash
# Every file of the BMP suite and every kind of picture of our own through
# the two programs' loader: glintor-render, and the viewer with no display
# (its message then goes to stderr only). A refusal must be the exact
# message and exit code 1 - a crash, a hang or a sanitizer report is neither.
# Our pictures that load must render the same frame as a plain 24-bit file
# of the same pixels. Usage: loader_files.sh SUITE_DIR
source "$(dirname "$0")/lib.sh"
need_tools timeout cmp
suite=$1
[ -d "$suite/g" ] || fail "no BMP suite in $suite"

# A bound per run (each takes well under a second, sanitizers included);
# a hang fails.
RUN_LIMIT=${RUN_LIMIT:-10}

message() {  # OUTCOME NAME
  case $1 in
    notfound) printf "The file %s don't found,\nthe application will be closed." "$2" ;;
    small) printf 'The file %s is invalid,\nor smaller.' "$2" ;;
    large) printf 'The file %s is too large,\nat most 32768 pixels a side.' "$2" ;;
    unsupported) printf 'The format of %s is not supported.' "$2" ;;
    memory) printf 'There is not enough memory for %s,\nthe application will be closed.' "$2" ;;
    window) printf 'The window could not be opened,\nthe application will be closed.' ;;
    *) fail "unknown outcome $1" ;;
  esac
}

# expect_refusal WHAT OUTCOME NAME COMMAND...: COMMAND exits 1 saying only
# the message of OUTCOME for NAME.
expect_refusal() {
  local what=$1 outcome=$2 name=$3 code=0
  shift 3
  timeout -k 5 "$RUN_LIMIT" "$@" >"$work/stdout" 2>"$work/stderr" </dev/null || code=$?
  [ "$code" != 124 ] || fail "$what: still running after $RUN_LIMIT s"
  [ "$code" = 1 ] || fail "$what: exit code $code, not 1; stderr: $(head -c 2000 "$work/stderr")"
  message "$outcome" "$name" | cmp -s - <(head -c -1 "$work/stderr") ||
    fail "$what: stderr says '$(head -c 2000 "$work/stderr")', not '$(message "$outcome" "$name")'"
}

# viewer_refuses OUTCOME FILE: the viewer, started beside FILE as source.bmp
# with no display, refuses with OUTCOME's message.
viewer_refuses() {
  mkdir -p "$work/viewer"
  cp "$2" "$work/viewer/source.bmp"
  (
    cd "$work/viewer" || exit 99
    unset DISPLAY WAYLAND_DISPLAY
    export SDL_VIDEODRIVER=x11
    expect_refusal "viewer with $2" "$1" source.bmp "$GLINTOR_WEIGHTED"
  ) || exit 1
}

counts=()
for folder in g q b; do
  tried=0
  for file in "$suite/$folder"/*.bmp; do
    case ${file#"$suite"/} in
      b/badheadersize.bmp) outcome=notfound ;;
      b/reallybig.bmp) outcome=large ;;
      *) outcome=small ;;
    esac
    expect_refusal "glintor-render $file" "$outcome" "$file" "$GLINTOR_RENDER" "$file" "$work/out.bmp"
    [ ! -e "$work/out.bmp" ] || fail "glintor-render $file: wrote a picture"
    viewer_refuses "$outcome" "$file"
    tried=$((tried + 1))
  done
  counts+=("$folder: $tried")
done
pass "BMP suite refused by glintor-render and the viewer, files per folder: ${counts[*]}"

mkdir -p "$work/kinds"
"$GLINTOR_BMP_KINDS" "$work/kinds" || fail "could not write the pictures"
loaded=0 refused=0
while read -r name outcome; do
  file="$work/kinds/$name.bmp"
  if [ "$outcome" = loaded ]; then
    for picture in "$file" "$work/kinds/$name.plain.bmp"; do
      timeout -k 5 "$RUN_LIMIT" "$GLINTOR_RENDER" --light 0,0 --light 57,33 "$picture" \
        "$picture.frame.bmp" >/dev/null 2>"$work/stderr" ||
        fail "glintor-render $name: exit code $?; stderr: $(head -c 2000 "$work/stderr")"
    done
    cmp -s "$file.frame.bmp" "$work/kinds/$name.plain.bmp.frame.bmp" ||
      fail "$name renders differently from the same pixels in a plain file"
    viewer_refuses window "$file"
    loaded=$((loaded + 1))
  else
    expect_refusal "glintor-render $name" "$outcome" "$file" "$GLINTOR_RENDER" "$file"
    viewer_refuses "$outcome" "$file"
    refused=$((refused + 1))
  fi
done <"$work/kinds/expected.txt"
[ "$loaded" -ge 20 ] && [ "$refused" -ge 20 ] || fail "only $loaded loaded and $refused refused kinds"
pass "our pictures: $loaded kinds render as their plain twin, $refused refused with their message"

# JPEGs as the user's camera or editor makes them render within a few levels
# of the same frame of ImageMagick's reading of each; PNG exactly. A JPEG
# cut short is not found.
"$GLINTOR_SCENE" --size 203x150 "$work/scene.bmp" || fail "no test picture"
for kind in baseline:'-sampling-factor 1x1' progressive:'-interlace plane' grey:'-colorspace gray' \
  subsampled:'-sampling-factor 2x2' png:''; do
  name=${kind%%:*} extension=jpg tolerance=4
  [ "$name" = png ] && extension=png tolerance=0
  # shellcheck disable=SC2086
  convert "$work/scene.bmp" ${kind#*:} "$work/$name.$extension" &&
    convert "$work/$name.$extension" -type truecolor "BMP3:$work/$name.bmp" || fail "could not make $name"
  for picture in "$work/$name.$extension" "$work/$name.bmp"; do
    "$GLINTOR_RENDER" --light 20,130 "$picture" "$picture.frame.bmp" >/dev/null ||
      fail "glintor-render $picture: exit code $?"
  done
  levels=$(compare -metric PAE "$work/$name.$extension.frame.bmp" "$work/$name.bmp.frame.bmp" null: 2>&1)
  [ "${levels%% *}" -le $((tolerance * 257)) ] ||
    fail "$name: up to $levels levels from ImageMagick's reading"
done
head -c 3000 "$work/baseline.jpg" >"$work/cut.jpg"
expect_refusal "glintor-render with a cut JPEG" notfound "$work/cut.jpg" "$GLINTOR_RENDER" "$work/cut.jpg"
pass "JPEG within a few levels of ImageMagick's reading, PNG exactly; a cut JPEG is not found"

# A picture the machine cannot hold: a sparse 1.2 GB file of 20000 x 20000
# pixels (10 GB while the viewer runs) in an address space of 1 GB. The
# sanitizers reserve terabytes of address space, so only plain builds can
# run under such a limit.
if [ "${GLINTOR_SANITIZED:-0}" = 1 ]; then
  pass "memory refusal under an address-space limit: skipped in a sanitizer build"
  exit 0
fi
need_tools truncate dd
big=$work/big.bmp
"$GLINTOR_SCENE" --size 100x100 "$big" || fail "no test picture"
printf '\x20\x4e\x00\x00\x20\x4e\x00\x00' | dd of="$big" bs=1 seek=18 conv=notrunc status=none
truncate -s $((54 + 60000 * 20000)) "$big"
(
  ulimit -v 1048576
  expect_refusal "glintor-render with 1 GB" memory "$big" "$GLINTOR_RENDER" "$big" "$work/out.bmp"
  viewer_refuses memory "$big"
  # The same header in a 60-byte file is not a picture at all.
  head -c 60 "$big" >"$work/short.bmp"
  expect_refusal "glintor-render with 1 GB" notfound "$work/short.bmp" "$GLINTOR_RENDER" "$work/short.bmp"
  # The same in PNG and JPEG headers, with files long enough for the pixels.
  head -c 33 "$work/png.png" >"$work/big.png"
  printf '\x00\x00\x4e\x20\x00\x00\x4e\x20' | dd of="$work/big.png" bs=1 seek=16 conv=notrunc status=none
  truncate -s 3000000 "$work/big.png"
  expect_refusal "glintor-render with 1 GB" memory "$work/big.png" "$GLINTOR_RENDER" "$work/big.png"
  printf '\xff\xd8\xff\xc0\x00\x11\x08\x4e\x20\x4e\x20\x03\x01\x11\x00\x02\x11\x00\x03\x11\x00' >"$work/big.jpg"
  truncate -s 30000000 "$work/big.jpg"
  printf '\xff\xd9' >>"$work/big.jpg"
  expect_refusal "glintor-render with 1 GB" memory "$work/big.jpg" "$GLINTOR_RENDER" "$work/big.jpg"
  # A picture that fits still loads under the same limit.
  "$GLINTOR_SCENE" --size 300x200 "$work/fits.bmp" || exit 1
  "$GLINTOR_RENDER" "$work/fits.bmp" "$work/fits-frame.bmp" >/dev/null || fail "300 x 200 refused with 1 GB"
) || exit 1
pass "a picture too large for the memory is refused with its message, before it is read"
