#!/bin/sh
# Makes the two sounds in wav/ with SoX. The generated files are kept in the
# tree, so the build never needs SoX; run this only to change them:
#   sh make_sounds.sh
#
# Both are 16-bit mono PCM at 22050 Hz, short enough to stay under 10 KB, and
# quiet: they are played on every key capture and every shot.
#   1.wav  a soft click, when a new hotkey has been captured
#   2.wav  a camera shutter, when a shot has been saved
#
# -R (repeatable) and -D (no dither) make the output the same on every run,
# so regenerating does not churn the committed files.
set -eu
cd "$(dirname "$0")/wav"

FMT="-r 22050 -b 16 -c 1 -e signed-integer"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# 1.wav: a 30 ms tick, a high sine and its octave below dying away fast,
# band-limited so it sounds soft rather than sharp.
sox -R -D -n $FMT 1.wav \
  synth 0.03 sine 2400 sine 1200 remix - \
  fade q 0.001 0.03 0.027 \
  lowpass 5000 \
  norm -12

# 2.wav: two mechanical clacks, the shutter opening and closing, each a burst
# of band-passed noise with a quick decay, the second one lower and softer.
sox -R -D -n $FMT "$tmp/open.wav" \
  synth 0.045 whitenoise fade q 0.001 0.045 0.04 \
  bandpass 3000 1.2q \
  norm -6
sox -R -D -n $FMT "$tmp/close.wav" \
  synth 0.06 whitenoise fade q 0.001 0.06 0.055 \
  bandpass 1800 1.2q \
  norm -9
sox -R -D -n $FMT "$tmp/gap.wav" trim 0 0.05
sox -R -D "$tmp/open.wav" "$tmp/gap.wav" "$tmp/close.wav" $FMT 2.wav \
  norm -3

soxi 1.wav 2.wav
