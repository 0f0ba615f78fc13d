#!/usr/bin/env bash
# glintor-render from the command line: frames and titles, the BMP it
# writes, refusals of bad pictures (exit 1) and usage errors (exit 2).
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
[ -z "$(find "$work" -name '*.partial')" ] || fail "a temporary file was left behind"
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
expect 1 "$work/odd.bmp" "$work/no-such-folder/out.bmp"
[ -z "$(find "$work" -name '*.partial')" ] || fail "a failed write left a temporary file"
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
expect 0 --help
pass "usage errors exit with 2"
