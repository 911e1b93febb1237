#!/usr/bin/env bash
# Draws docs/effect.png: what sonari3 does to a mono signal.
#
#   docs/plot_effect.sh [PATH-TO-SONARI3]
#
# The program defaults to build/app/sonari3 in the source tree. The script writes a
# short 16-bit test input (two clicks at 8,000 Hz), converts it with a 5 ms delay and
# an echo gain of 0.5, and draws the input and the two output channels one above
# the other. Needs bash, python3 and gnuplot (Debian: apt-get install gnuplot-nox).
set -euo pipefail

docs_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root_dir=$(dirname "$docs_dir")
program=${1:-$root_dir/build/app/sonari3}
picture=$docs_dir/effect.png

rate=8000
delay=0.005
gain=0.5

if [[ ! -x $program ]]; then
    echo "plot_effect.sh: $program is not an executable; build it first" >&2
    echo "  (cmake --preset app && cmake --build --preset app)" >&2
    exit 1
fi
for tool in python3 gnuplot; do
    if ! command -v "$tool" >/dev/null; then
        echo "plot_effect.sh: $tool is missing (Debian: apt-get install gnuplot-nox python3)" >&2
        exit 1
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The test input: 50 ms of silence with two short positive clicks (raised-cosine
# pulses about 1 ms wide) at 5 ms and 30 ms. A one-signed pulse shows the sign of
# each echo at a glance, and 25 ms between the clicks keeps every echo apart.
python3 - "$work/input.wav" "$rate" <<'EOF'
import math, struct, sys, wave

path, rate = sys.argv[1], int(sys.argv[2])
frames = rate * 50 // 1000
signal = [0] * frames
width = 9                                   # samples per click
for start_ms, height in ((5, 20000), (30, 14000)):
    start = rate * start_ms // 1000
    for k in range(width):
        shape = 0.5 - 0.5 * math.cos(2 * math.pi * (k + 1) / (width + 1))
        signal[start + k] = round(height * shape)
with wave.open(path, "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(rate)
    w.writeframes(struct.pack("<%dh" % frames, *signal))
EOF

# The conversion. The report goes to a log that is shown only if something fails.
if ! LC_ALL=C.UTF-8 "$program" "$work/input.wav" "$work/stereo.wav" "$delay" "$gain" \
        >"$work/report.txt" 2>&1; then
    cat "$work/report.txt" >&2
    echo "plot_effect.sh: $program failed" >&2
    exit 1
fi

# Both files as columns for gnuplot: time in ms, input, left, right (full scale = 1).
python3 - "$work/input.wav" "$work/stereo.wav" "$work/samples.dat" <<'EOF'
import struct, sys, wave

def read(path):
    with wave.open(path, "rb") as w:
        assert w.getsampwidth() == 2
        n, channels, rate = w.getnframes(), w.getnchannels(), w.getframerate()
        values = struct.unpack("<%dh" % (n * channels), w.readframes(n))
    return rate, [values[c::channels] for c in range(channels)]

rate, (mono,) = read(sys.argv[1])
out_rate, (left, right) = read(sys.argv[2])
assert out_rate == rate and len(left) == len(mono)
with open(sys.argv[3], "w") as f:
    f.write("# t_ms input left right\n")
    for i, (x, l, r) in enumerate(zip(mono, left, right)):
        f.write("%.4f %.5f %.5f %.5f\n" % (1000.0 * i / rate, x / 32768, l / 32768, r / 32768))
EOF

if gnuplot -e 'set terminal' 2>&1 | grep -qw pngcairo; then
    terminal="pngcairo size 900,600 font 'DejaVu Sans,10'"
else
    terminal="png size 900,600"
fi

gnuplot <<EOF
set terminal $terminal
set output '$picture'
data = '$work/samples.dat'

set multiplot layout 3,1 title "sonari3 in.wav out.wav $delay $gain  (8,000 Hz, 16 bits: D = 40 frames = 5 ms, g = 0.5)"
set xrange [0:50]
set yrange [-0.45:0.75]
set ytics -0.4, 0.4
set xtics 0, 5
set grid xtics ytics lc rgb '#dddddd'
set key off
set lmargin 12
set rmargin 3
set tmargin 1.5
set bmargin 1
set format x ''
set style line 1 lc rgb '#000000' lw 1.6
set style line 2 lc rgb '#1f6fb4' lw 1.6
set style line 3 lc rgb '#c0392b' lw 1.6
set style arrow 1 heads size 0.8,20 lc rgb '#555555'
# The input clicks' centres, drawn in every panel for reference.
set style arrow 2 nohead dt 2 lc rgb '#999999'
set arrow 11 from 5.56, graph 0 to 5.56, graph 1 as 2
set arrow 12 from 30.56, graph 0 to 30.56, graph 1 as 2

# Input.
set ylabel "input x"
set label 1 "x(t)" at 6.2, 0.62
set label 2 "x(t)" at 31.2, 0.45
plot data using 1:2 with lines ls 1
unset label

# Left: the signal plus an echo 2D later with the same sign.
set ylabel "left"
set label 1 "x(t)" at 6.2, 0.62
set label 2 "+g x(t-2D)" at 16.2, 0.36
set label 3 "x(t)" at 31.2, 0.45
set label 4 "+g x(t-2D)" at 41.2, 0.28
set arrow 1 from 5.56, -0.25 to 15.56, -0.25 as 1
set label 5 "2D = 10 ms" at 8.3, -0.36
plot data using 1:3 with lines ls 2
unset label
unset arrow 1

# Right: the signal D later, minus an echo 3D later.
set ylabel "right"
set format x '%g'
set xlabel "time [ms]"
set bmargin 3.5
set label 1 "x(t-D)" at 11.2, 0.62
set label 2 "-g x(t-3D)" at 21.2, -0.34
set label 3 "x(t-D)" at 36.2, 0.45
set label 4 "-g x(t-3D)" at 46.0, -0.34 right
set arrow 1 from 5.56, -0.25 to 10.56, -0.25 as 1
set label 5 "D = 5 ms" at 6.5, -0.36
plot data using 1:4 with lines ls 3
unset multiplot
EOF

echo "wrote $picture"
