#!/usr/bin/env bash
# glintor-render from the command line: frames and titles, the BMP and PNG
# it writes, light files, frame patterns, refusals of bad pictures (exit 1)
# and usage errors (exit 2).
source "$(dirname "$0")/lib.sh"
need_tools identify compare

render() {
  "$GLINTOR_RENDER" "$@" >"$work/stdout" 2>"$work/stderr"
  exit_code=$?
}

# expect CODE ARGUMENTS...: glintor-render exits with CODE and, if it fails,
# says something on stderr.
expect() {
  local code=$1
  shift
  render "$@"
  [ "$exit_code" = "$code" ] || fail "glintor-render $*: exit code $exit_code, not $code"
  [ "$code" = 0 ] || [ -s "$work/stderr" ] || fail "glintor-render $*: no message on stderr"
}

"$GLINTOR_SCENE" --size 101x100 "$work/odd.bmp" || fail "no test picture"
"$GLINTOR_SCENE" --size 99x500 "$work/narrow.bmp" || fail "no test picture"
"$GLINTOR_SCENE" --size 200x200 --depth 8 "$work/palette.bmp" || fail "no test picture"
"$GLINTOR_SCENE" --size 32769x100 "$work/wide.bmp" || fail "no test picture"

title='Glintor - [0-9]+\.[0-9]{3} msec \([0-9]+\.[0-9]{3}\+[0-9]+\.[0-9]{3}\) - ([0-9]+\.[0-9]{3}|inf) fps'

# One title per frame; the default is a single frame.
expect 0 "$work/odd.bmp"
[ "$(grep -cE "^$title\$" "$work/stdout")" = 1 ] && [ "$(wc -l <"$work/stdout")" = 1 ] ||
  fail "default run printed: $(cat "$work/stdout")"
expect 0 --light 0,0 --light 100,99 --light 50,0 "$work/odd.bmp" "$work/frame.bmp"
[ "$(grep -cE "^$title\$" "$work/stdout")" = 3 ] && [ "$(wc -l <"$work/stdout")" = 3 ] ||
  fail "three lights printed: $(cat "$work/stdout")"
pass "one title line per frame"

# A standard 24-bit BMP, rows padded to 4 bytes: 101 * 3 = 303 -> 304.
[ "$(identify -format '%m %w %h %[bit-depth] %[channels]' "$work/frame.bmp")" = "BMP3 101 100 8 srgb" ] ||
  fail "output is $(identify -format '%m %w %h %[bit-depth] %[channels]' "$work/frame.bmp")"
[ "$(stat -c %s "$work/frame.bmp")" = $((54 + 304 * 100)) ] ||
  fail "output has $(stat -c %s "$work/frame.bmp") bytes"
[ -z "$(find "$work" -name '*.partial*')" ] || fail "a temporary file was left behind"
pass "the output is a 24-bit BMP of the picture's size"

# The modes give different frames; the same mode twice the same frame.
expect 0 --mode uniform "$work/odd.bmp" "$work/uniform.bmp"
expect 0 --mode weighted "$work/odd.bmp" "$work/weighted.bmp"
expect 0 "$work/odd.bmp" "$work/default.bmp"
[ "$(compare -metric AE "$work/weighted.bmp" "$work/default.bmp" null: 2>&1)" = 0 ] ||
  fail "the default mode is not weighted"
[ "$(compare -metric AE "$work/weighted.bmp" "$work/uniform.bmp" null: 2>&1)" != 0 ] ||
  fail "uniform and weighted frames are the same"
pass "weighted is the default; the modes differ"

# Every frame of --frames is the frame a run ending at its light writes (a
# frame keeps pixels of the ones before). --light, --lights FILE and
# --lights - add lights in command-line order; PNG equals BMP.
printf '# path\n 0 , 0 \r\n\n100,99\r\n' >"$work/lights.txt"
mkdir "$work/frames"
expect 0 --light 50,0 --lights "$work/lights.txt" --lights - --light 7,7 \
  --frames "$work/frames/f-%03d.png" "$work/odd.bmp" <<<"20,30"
[ "$(ls "$work/frames")" = "$(printf 'f-%03d.png\n' 0 1 2 3 4)" ] && [ "$(wc -l <"$work/stdout")" = 5 ] ||
  fail "--frames wrote $(ls "$work/frames")"
expect 0 --light 50,0 --light 0,0 --light 100,99 --light 20,30 --light 7,7 "$work/odd.bmp" "$work/last.Png"
[ "$(identify -format '%m %w %h %[bit-depth] %[channels]' "$work/last.Png")" = "PNG 101 100 8 srgb" ] ||
  fail "PNG output is $(identify -format '%m %w %h %[bit-depth] %[channels]' "$work/last.Png")"
lights=()
for light in 50,0 0,0 100,99 20,30 7,7; do
  lights+=(--light "$light")
  expect 0 "${lights[@]}" "$work/odd.bmp" "$work/prefix.bmp"
  frame=$work/frames/f-$(printf %03d $((${#lights[@]} / 2 - 1))).png
  [ "$(compare -metric AE "$frame" "$work/prefix.bmp" null: 2>&1)" = 0 ] || fail "$frame differs"
done
[ "$(compare -metric AE "$work/last.Png" "$work/prefix.bmp" null: 2>&1)" = 0 ] || fail "PNG and BMP differ"
pass "--frames writes every frame; --lights files and stdin; PNG output equals BMP"

expect 1 "$work/nothing-here.bmp" "$work/out.bmp"
grep -qF "The file $work/nothing-here.bmp don't found," "$work/stderr" || fail "missing: $(cat "$work/stderr")"
expect 1 "$work/narrow.bmp"
grep -qF "The file $work/narrow.bmp is invalid," "$work/stderr" || fail "narrow: $(cat "$work/stderr")"
expect 1 "$work/palette.bmp"
grep -qF "The format of $work/palette.bmp is not supported." "$work/stderr" ||
  fail "palette: $(cat "$work/stderr")"
expect 1 "$work/wide.bmp"
grep -qF "The file $work/wide.bmp is too large," "$work/stderr" || fail "wide: $(cat "$work/stderr")"
[ ! -e "$work/out.bmp" ] || fail "a refused picture left an output file"
for output in no-such-folder/out.bmp no-such-folder/out.png; do
  expect 1 "$work/odd.bmp" "$work/$output"
  grep -qxF "glintor-render: could not write $work/$output" "$work/stderr" || fail "$output: $(cat "$work/stderr")"
done
expect 1 --frames "$work/no-such-folder/f%d.png" "$work/odd.bmp"
[ -z "$(find "$work" -name '*.partial*')" ] || fail "a failed write left a temporary file"
pass "refused pictures and failed writes exit with 1"

expect 2
expect 2 --frobnicate "$work/odd.bmp"
expect 2 --mode sideways "$work/odd.bmp"
expect 2 "$work/odd.bmp" --mode
expect 2 --light 5 "$work/odd.bmp"
expect 2 --light 5,x "$work/odd.bmp"
expect 2 --light -5,5 "$work/odd.bmp"
expect 2 --light 1,2,3 "$work/odd.bmp"
expect 2 --light 99999999999,1 "$work/odd.bmp"
expect 2 --light 101,5 "$work/odd.bmp"
expect 2 --light 5,100 "$work/odd.bmp" "$work/out.bmp"
[ ! -e "$work/out.bmp" ] || fail "a usage error left an output file"
expect 2 "$work/odd.bmp" "$work/a.bmp" "$work/b.bmp"
mkdir "$work/none"
printf '1,1\n# fine\n2;3\n' >"$work/bad.txt"
expect 2 --lights "$work/bad.txt" --frames "$work/none/f%d.png" "$work/odd.bmp"
grep -qF "glintor-render: $work/bad.txt:3: expected COLUMN,ROW" "$work/stderr" || fail "bad line: $(cat "$work/stderr")"
expect 2 --lights "$work/none/missing.txt" "$work/odd.bmp"
for pattern in f.png f%d-%d.png f%s.png f%5d.png f%d.jpg; do
  expect 2 --frames "$work/none/$pattern" "$work/odd.bmp"
done
expect 2 --frames "$work/none/f%d.png" "$work/odd.bmp" "$work/none/out.png"
expect 2 "$work/odd.bmp" "$work/none/out.tiff"
[ -z "$(ls "$work/none")" ] || fail "a usage error wrote $(ls "$work/none")"
expect 0 --help
pass "usage errors exit with 2"
