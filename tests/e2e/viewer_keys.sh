#!/usr/bin/env bash
# A viewer started with options that shape the light, then its keys: T and
# Shift+T move the threshold by 16, no further than 255 and 0 (from 15 as
# from 16); K and Shift+K the softness by 8, as far; ] and [ the strength
# by 10, and so do + (or =) and -, on German and French keyboards too
# (their own + and - keys, the keypad's, ] behind AltGr); V steps through the views, B
# switches the blend; R brings back the options' settings, with no
# threshold, softness or screen. After each step the window shows what
# glintor-render renders for the same lights and settings, and the title
# names the settings. Then Space.
# Usage: viewer_keys.sh linux|wine
source "$(dirname "$0")/lib.sh"
use_platform "$1"

suffix=" - strength 60%, tint FFC890"
start_viewer uniform 160x120 keys.png
find_main_window
check_first_frame
# Wine reads a key's character with the AltGr of the last key it was told
# of: AltGr is typed alone.
need_tools setxkbmap
layout=us
while IFS='|' read -r keyboard keys settings; do
  [ "$keyboard" = "$layout" ] || { setxkbmap "$keyboard" && layout=$keyboard; } || fail "no $keyboard layout"
  xdotool key --window "$window" $keys
  suffix=$settings
  wait_for "the title to end in '$suffix' after $keys" title_is_timing
  check_pixels
done <<'STEPS'
us|t| - threshold 16, strength 60%, tint FFC890
us|bracketright plus equal minus v| - threshold 16, strength 80%, tint FFC890, view rays
us|v| - threshold 16, strength 80%, tint FFC890, view emission
us|t t t t t shift+t bracketleft v v| - threshold 80, strength 70%, tint FFC890, view rays
us|r| - strength 60%, tint FFC890
us|t t t t t t t t t t t t t t t t| - threshold 255, strength 60%, tint FFC890
us|shift+t shift+t shift+t shift+t shift+t shift+t shift+t shift+t shift+t shift+t shift+t shift+t shift+t shift+t shift+t shift+t| - strength 60%, tint FFC890
us|k k k t t t t t t t t b| - threshold 128, strength 60%, tint FFC890, softness 24, blend screen
us|shift+k v v b| - threshold 128, strength 60%, tint FFC890, view emission, softness 16
us|b v| - threshold 128, strength 60%, tint FFC890, softness 16, blend screen
us|r| - strength 60%, tint FFC890
us|k k k k k k k k k k k k k k k k k k k k k k k k k k k k k k k k| - strength 60%, tint FFC890, softness 255
us|shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k shift+k| - strength 60%, tint FFC890
de|plus KP_Add t v| - threshold 16, strength 80%, tint FFC890, view rays
de|r minus KP_Subtract| - strength 40%, tint FFC890
de|bracketright| - strength 50%, tint FFC890
fr|plus KP_Add t k b| - threshold 16, strength 70%, tint FFC890, softness 8, blend screen
fr|r minus v| - strength 50%, tint FFC890, view rays
fr|bracketright| - strength 60%, tint FFC890, view rays
STEPS
move_pointer $((width / 4)) $((height / 3))

# Space held shows the picture without the light, until it is let go, with Alt held too, or until the
# window loses the focus to another program (real key presses go to the
# focused window; it is let go there).
need_tools xmessage
xmessage -name other other 2>/dev/null &
wait_for "another window" has_window_named '^other$'
picture_shown() { cp "$work/scene.bmp" "$work/expected.bmp" && window_shows_expected; }
! picture_shown || fail "the frame is the picture without the light"
while IFS="|" read -r holding letting_go; do
  xdotool windowfocus --sync "$window" keydown space
  wait_for "the picture without the light" picture_shown
  eval "$holding"
  check_pixels
  eval "$letting_go"
done <<'SPACE'
xdotool keydown alt keyup space|xdotool keyup alt
xdotool windowfocus --sync "$(window_named '^other$')"|xdotool keyup space
SPACE
pass "Space let go with Alt held, or the focus lost, brings the frame back"
# Back in the window, a move lights the picture again. Wine, with no window
# manager, gives a window the keys again only when it is clicked.
xdotool windowfocus --sync "$window"
move_pointer $((width / 2)) $((height / 4))
xdotool click 1
end_with escape
