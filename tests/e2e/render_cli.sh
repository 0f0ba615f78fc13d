#!/usr/bin/env bash
# glintor-render from the command line: --frames and --lights, PNG and BMP
# output, failed writes (exit 1) with the system's reason, SIGINT and SIGTERM
# and usage errors (exit 2), none of which may leave a file behind, the
# options that shape the light, and a photo stored sideways.
# Usage: render_cli.sh PICTURES_DIR
source "$(dirname "$0")/lib.sh"
pictures=$1
need_tools compare convert identify python3

# expect CODE ARGUMENTS...: glintor-render exits with CODE and, if it fails,
# says something on stderr; a run that hangs fails at the steps' deadline.
expect() {
  local code=$1 got=0
  shift
  timeout -k 5 "$E2E_TIMEOUT" "$GLINTOR_RENDER" "$@" >"$work/stdout" 2>"$work/stderr" || got=$?
  [ "$got" = "$code" ] || fail "glintor-render $*: exit code $got, not $code"
  [ "$code" = 0 ] || [ -s "$work/stderr" ] || fail "glintor-render $*: no message on stderr"
}
same() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = 0 ] || fail "$1 and $2 differ"; }

"$GLINTOR_SCENE" --size 101x100 "$work/odd.bmp" || fail "no test picture"
mkdir "$work/frames" "$work/taken.png" "$work/taken.bmp" "$work/none"
ln -s odd.bmp "$work/alias.png" && ln "$work/odd.bmp" "$work/same1.bmp" || fail "no links to the test picture"

# Every frame of --frames is the frame of its light alone, whatever came
# before, with one title line each. --light, --lights FILE and --lights -
# add lights in command-line order.
printf '\xef\xbb\xbf 0 , 0 \r\n# path\n\n100,99 \t# the corner\r\n' >"$work/lights.txt"
expect 0 --light 50,0 --lights "$work/lights.txt" --lights - --light 7,7 \
  --frames "$work/frames/f-%03d.png" "$work/odd.bmp" <<<"-5,0"
[ "$(ls "$work/frames")" = "$(printf 'f-%03d.png\n' 0 1 2 3 4)" ] || fail "--frames wrote $(ls "$work/frames")"
[ "$(grep -cE '^Glintor - [0-9.]+ msec \([0-9.]+\+[0-9.]+\) - [0-9.]+ fps$' "$work/stdout")" = 5 ] ||
  fail "titles: $(cat "$work/stdout")"
number=0
for light in 50,0 0,0 100,99 -5,0 7,7; do
  expect 0 --light "$light" "$work/odd.bmp" "$work/last.bmp"
  same "$work/frames/f-$(printf %03d "$number").png" "$work/last.bmp"
  number=$((number + 1))
done
expect 0 --light 7,7 "$work/odd.bmp" "$work/last.Png"
head -c 4 "$work/last.Png" | grep -q PNG || fail "last.Png is no PNG"
same "$work/last.Png" "$work/last.bmp"
pass "--frames writes every frame; --lights files and stdin; PNG output equals BMP"

# A folder in the output's place (taken.*) lets the write go as far as the
# final rename.
for case in "taken.png:Is a directory" "taken.bmp:Is a directory" "none/missing/out.png:No such file or directory"; do
  expect 1 "$work/odd.bmp" "$work/${case%%:*}"
  grep -qxF "glintor-render: could not write $work/${case%%:*}: ${case#*:}" "$work/stderr" || fail "$(cat "$work/stderr")"
done
expect 1 --frames "$work/none/missing/f%d.png" "$work/odd.bmp"
# A disk that fills up: a file-size limit (KiB) that a write reaches part
# way, and one that lets every write of whole stdio buffers through but not
# the last flush, when the PNG is closed. SIGXFSZ is not ignored here.
expect 0 "$work/odd.bmp" "$work/whole.png"
size=$(stat -c %s "$work/whole.png") buffer=$(stat -c %o "$work/whole.png")
[ "$size" -gt "$buffer" ] && [ $((size % buffer)) != 0 ] && [ $((buffer % 1024)) = 0 ] || fail "no PNG to fill: $size"
for case in full.png:4 full.bmp:4 closed.png:$((size / buffer * buffer / 1024)); do
  (ulimit -f "${case#*:}" && expect 1 "$work/odd.bmp" "$work/none/${case%:*}") || exit 1
  grep -qxF "glintor-render: could not write $work/none/${case%:*}: File too large" "$work/stderr" || fail "$(cat "$work/stderr")"
done
[ -z "$(find "$work" -name '*.partial*')" ] && [ -z "$(ls "$work/none")" ] || fail "a failed write left a file"
pass "failed writes exit with 1, say why and leave nothing"

# Ended while it writes a frame (held at the gate, its temporary written),
# it ends as the signal would and leaves no temporary. A signal ignored
# when it started (a background job ignores SIGINT unless told not to;
# nohup) stays ignored: every frame is written.
printf '%d,0\n' {0..3} >"$work/row.txt"
set -- "$GLINTOR_RENDER" --lights "$work/row.txt" --frames "$work/none/f%d.png" "$work/odd.bmp"
while read -r signal code start; do
  : >"$work/gate"
  GLINTOR_WRITE_GATE=$work/gate eval "$start >/dev/null &"
  wait_for "a frame being written" eval '[ -n "$(find "$work/none" -name "*.partial*")" ]'
  kill -"$signal" $!
  rm "$work/gate"
  got=0 && wait $! || got=$?
  [ "$got" = "$code" ] || fail "SIG$signal, $start: exit code $got, not $code"
  [ -z "$(find "$work/none" -name '*.partial*')" ] || fail "SIG$signal left $(ls "$work/none")"
  [ "$code" != 0 ] || [ "$(ls "$work/none" | wc -l)" = 4 ] || fail "ignored SIG$signal: $(ls "$work/none" | wc -l) frames"
  rm -f "$work/none/"*
done <<'EOF'
INT   130  (trap - INT && exec "$@")
TERM  143  (trap - INT && exec "$@")
INT   0    "$@"
TERM  0    (trap '' TERM && exec "$@")
EOF
pass "SIGINT and SIGTERM leave no temporary; ignored, they stay ignored"

printf '1,1\n# fine\n2;3\n' >"$work/bad.txt"
expect 2 --lights "$work/bad.txt" --frames "$work/none/f%d.png" "$work/odd.bmp"
grep -qF "glintor-render: $work/bad.txt:3: expected COLUMN,ROW" "$work/stderr" || fail "bad line: $(cat "$work/stderr")"
# A frame that is the input picture, the first or a later one: the input
# stays as it was.
cp "$work/odd.bmp" "$work/in0.bmp" || fail "no copy of the test picture"
while read -r input pattern number; do
  expect 2 --light 1,1 --light 2,2 --frames "$work/$pattern" "$work/$input"
  grep -qF "glintor-render: --frames: frame $number is the input picture: $work/${pattern/\%d/$number}" "$work/stderr" &&
    cmp -s "$work/$input" "$work/odd.bmp" || fail "$pattern: $(cat "$work/stderr")"
done <<'EOF'
odd.bmp  same%d.bmp  1
in0.bmp  in%d.bmp    0
EOF
# Lights files at their caps, a line of 4096 bytes and a file of 16 MiB,
# and a byte past them; a last line without a line end; no light at all.
printf '1,1 #%04091d\n' 0 >"$work/line.txt" && printf '1,1 #%04092d\n' 0 >"$work/longer.txt" &&
  { head -n 131071 < <(yes "$(printf '#%0126d' 0)") && printf '2,2 #%0123d' 0; } >"$work/full.txt" &&
  cat "$work/full.txt" - <<<"" >"$work/over.txt" && : >"$work/empty.txt" && echo '# none' >"$work/comments.txt" ||
  fail "no lights files"
while read -r name code said; do
  expect "$code" "--lights=$name" "$work/odd.bmp" "$work/caps.bmp"
  if [ "$code" = 0 ]; then
    [ "$(wc -l <"$work/stdout")" = 1 ] && rm "$work/caps.bmp" || fail "$name: $(cat "$work/stdout")"
  else
    grep -qF "glintor-render: $said" "$work/stderr" && [ ! -e "$work/caps.bmp" ] || fail "$name: $(cat "$work/stderr")"
  fi
done <<EOF
$work/line.txt      0
$work/longer.txt    2  $work/longer.txt:1: the line is longer than 4096 bytes
$work/full.txt      0
$work/over.txt      2  $work/over.txt:131072: the file is longer than 16 MiB
$work/empty.txt     2  no lights in $work/empty.txt
$work/comments.txt  2  no lights in $work/comments.txt
/dev/null           2  no lights in /dev/null
EOF
expect 2
for arguments in --frobnicate "--mode sideways" --mode "--light 5" "--light 202,5" "--light 5,200 $work/none/out.bmp" \
  "--light=-102,5" "--light 5,-101 $work/none/out.bmp" "--light=5,--1" "--light= 5,1" \
  "--lights $work/none/missing.txt" "--frames $work/none/f.png" "--frames $work/none/f%d-%d.png" \
  "--frames $work/none/f%d.jpg" "--frames $work/none/f%d.png $work/none/out.png" "$work/none/out.tiff" \
  "--frames $work/none/f%00d.png" "--frames $work/none/f%021d.png" \
  "$work/none/a.png $work/none/b.png" "$work/none/../odd.bmp" "$work/alias.png" "--lights /dev/zero" \
  "--lights -" "--threshold 256 $work/none/out.bmp" "--threshold -1 $work/none/out.bmp" \
  "--threshold 1x $work/none/out.bmp" "--threshold '' $work/none/out.bmp" "--strength 401 $work/none/out.bmp" \
  "--strength 6O $work/none/out.bmp" "--strength 60%% $work/none/out.bmp" "--tint FFC89 $work/none/out.bmp" \
  "--tint FFC8900 $work/none/out.bmp" "--tint GGGGGG $work/none/out.bmp" "--tint #FFC890 $work/none/out.bmp" \
  "--view foo $work/none/out.bmp" "--view '' $work/none/out.bmp" "$work/none/out.bmp --view" \
  "--threshold=256 $work/none/out.bmp" "--view= $work/none/out.bmp" "--mode=sideways" "--frames=$work/none/f.png" \
  "--softness 256 $work/none/out.bmp" "--softness=-8 $work/none/out.bmp" "--softness '' $work/none/out.bmp" \
  "--blend multiply $work/none/out.bmp" "--blend=Screen $work/none/out.bmp" "$work/none/out.bmp --blend"; do
  read -ra words <<<"$arguments"
  expect 2 "$work/odd.bmp" "${words[@]//\'\'/}"  # '' stands for an empty argument
  if [[ $arguments =~ --(threshold|strength|tint|view|softness|blend) ]]; then
    grep -qF -- "glintor-render: ${BASH_REMATCH[0]} " "$work/stderr" || fail "$arguments: $(cat "$work/stderr")"
  fi
done < <(yes 1,1)  # for --lights -: more than any lights file may hold
[ -z "$(ls "$work/none")" ] || fail "a usage error wrote $(ls "$work/none")"
expect 0 --help
pass "usage errors exit with 2 and write nothing"

# A light may lie up to the picture's size beyond each edge, given either way.
expect 0 --light=-101,-100 --light 201,199 --light -40,30 "$work/odd.bmp" "$work/outside.bmp"
expect 0 --light=-40,30 "$work/odd.bmp" "$work/joined.bmp"
same "$work/outside.bmp" "$work/joined.bmp"
pass "lights outside the picture, to the ends of their range"

# Stored sideways with EXIF orientation 6: the frame is upright, its light
# at the upright picture's top right corner, as from the upright photo
# (within the JPEG decoder's rounding).
expect 0 --light 103,119 "$pictures/jpeg/orientation-6.jpg" "$work/turned.png"
expect 0 --light 103,119 "$pictures/jpeg/orientation-1.jpg" "$work/upright.png"
[ "$(identify -format %wx%h "$work/turned.png")" = 104x120 ] &&
  [ "$(compare -metric AE -fuzz 2% "$work/turned.png" "$work/upright.png" null: 2>&1)" = 0 ] ||
  fail "the sideways photo's frame is not the upright photo's"
pass "a photo stored sideways is lit and written upright"

# The PNGs written carry the picture's colour profile unchanged, through
# --frames too, or its sRGB chunk; a profile left out at reading is not
# written.
chunks() { python3 -c 'import sys,struct; d=open(sys.argv[1],"rb").read(); i=8
while i<len(d): n=struct.unpack(">I",d[i:i+4])[0]; print(d[i+4:i+8].decode(), d[i+8:i+8+n].hex() if d[i+4:i+8]==b"sRGB" else ""); i+=12+n' "$1" | tr '\n' ' '; }
expect 0 --lights - --frames "$work/icc%d.png" "$pictures/jpeg/profile-3-chunks.jpg" <<<"5,5"
convert "$work/icc0.png" "$work/icc0.icc" && cmp -s "$work/icc0.icc" "$pictures/profile.icc" ||
  fail "the frame does not carry the photo's profile"
for case in "png/profile-srgb.png:IHDR  sRGB 01 IDAT" "jpeg/profile-chunk-missing.jpg:IHDR  IDAT" "png/orientation-1.png:IHDR  IDAT"; do
  expect 0 "$pictures/${case%%:*}" "$work/profiled.png"
  [[ "$(chunks "$work/profiled.png")" == "${case#*:}  "*"IEND  " ]] || fail "${case%%:*} gave chunks $(chunks "$work/profiled.png")"
done
pass "a photo's colour profile or sRGB chunk goes into its frames"

# Weighted unless told otherwise; %% is a percent sign; fields up to 20 digits.
expect 0 --frames="$work/frames/g%%%020d.png" "$work/odd.bmp"
expect 0 --mode=weighted "$work/odd.bmp" "$work/weighted.bmp"
same "$work/frames/g%$(printf %020d 0).png" "$work/weighted.bmp"
pass "the default mode, %% and %020d"

# Each view against the definitions, worked out here from the pictures'
# bytes: the emission is the source where the luma reaches the threshold,
# else black; a threshold casts what its emission picture casts at 0 (cast);
# the rays are that light scaled by the strength, then tinted; the final
# frame adds them to the source. Explicit defaults change no byte.
while read -r name input arguments; do
  read -ra words <<<"$arguments"
  expect 0 "${words[@]}" "$work/$input.bmp" "$work/$name.bmp"
  convert "$work/$name.bmp" -depth 8 "rgb:$work/$name.rgb" || fail "could not read $name.bmp"
done <<EOF
plain     odd
defaults  odd       --view final --threshold 0 --strength 100% --tint FFFFFF --softness 0 --blend add
emission  odd       --view emission --threshold 128
cast      emission  --view rays
dark      odd       --view rays --strength 0
final     odd       --threshold 128 --strength 150 --tint FFC890
rays      odd       --view=rays --threshold=128 --strength=150% --tint=ffc890
EOF
grep -qE ' fps - threshold 128, strength 150%, tint FFC890, view rays$' "$work/stdout" || fail "title: $(cat "$work/stdout")"
convert "$work/odd.bmp" -depth 8 "rgb:$work/odd.rgb" || fail "could not read odd.bmp"
python3 - "$work" <<'EOF' || fail "a view differs from its definition"
import sys
frame = {n: open(f"{sys.argv[1]}/{n}.rgb", "rb").read()
         for n in ("odd", "plain", "defaults", "emission", "cast", "dark", "final", "rays")}
source, tint = frame["odd"], (0xFF, 0xC8, 0x90)
emission = bytearray(len(source))
for i in range(0, len(source), 3):
    r, g, b = source[i:i + 3]
    if (77 * r + 150 * g + 29 * b + 128) >> 8 >= 128:
        emission[i:i + 3] = source[i:i + 3]
rays = bytes(min(((q * 150 + 50) // 100 * tint[i % 3] + 127) // 255, 255) for i, q in enumerate(frame["cast"]))
expected = {"defaults": frame["plain"], "emission": emission, "dark": bytes(len(source)), "rays": rays,
            "final": bytes(min(s + a, 255) for s, a in zip(source, rays))}
bad = [n for n in expected if frame[n] != expected[n]]
# Some pixels kept, some blacked out, and some light, or the checks prove little.
bad += ["trivial"] * (not (0 < emission.count(0) < len(source) and any(rays)))
sys.exit(f"not as defined: {' '.join(bad)}" if bad else None)
EOF
pass "each view, the threshold, the strength and the tint as defined"
