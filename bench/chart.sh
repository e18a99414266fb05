#!/usr/bin/env bash
# Draws bench/chart.svg, the benchmark side by side, from a table that bench/run.sh wrote:
#   bench/chart.sh [TABLE]      (default bench/table.txt, the table of the latest run)
# Four panels (requests/s, latency, the large download, memory), one bar per server and figure
# at its median, with the spread of the rounds as an error bar. Needs gnuplot (gnuplot-nox).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
table="${1:-$here/table.txt}"
chart="$here/chart.svg"
if ! command -v gnuplot >/dev/null; then
    echo "chart.sh needs gnuplot (apt-get install gnuplot-nox)" >&2
    exit 1
fi

# The table's cells are set apart by two spaces or more; a cell is "MEDIAN ±SPREAD%", perhaps
# followed by "(N of M rounds)", or "-". Each panel's rows become a gnuplot data block:
# "tick" then median and error for each server.
data="$(awk -F '  +' '
    BEGIN {
        split("rps:1 KiB req/s (50 conns):1 KiB|rps:100 KiB req/s (50 conns):100 KiB|" \
              "rps:listing 1000 files req/s:listing of 1000|" \
              "latency:1 KiB p50 ms:1 KiB p50|latency:1 KiB p99 ms:1 KiB p99|" \
              "latency:100 KiB p50 ms:100 KiB p50|latency:100 KiB p99 ms:100 KiB p99|" \
              "latency:range last MiB p50 ms:range p50|" \
              "download:256 MiB download MB/s:256 MiB file|" \
              "memory:RSS idle MiB:idle|memory:RSS 500 idle conns MiB:500 idle conns|" \
              "memory:RSS after the load MiB:after the load", rows, "|")
        for (i in rows) {
            split(rows[i], part, ":")
            panel[part[2]] = part[1]
            tick[part[2]] = part[3]
        }
    }
    # The run (date and commit) and the machine, for the heading.
    NR == 1 { title = match($0, /commit [0-9a-f]+/) ? substr($0, 1, RSTART + RLENGTH - 1) : $0 }
    /^machine: / { sub(/; load average.*/, ""); title = title "\\n" $0 }
    /^[0-9]+ rounds/ { rounds = $0 + 0 }
    $1 == "figure" {
        for (i = 2; i <= NF && $i !~ /\// && $i != "target"; i++)
            servers = servers (servers ? " " : "") $i
        columns = i - 2
    }
    $1 in panel {
        line = "\"" tick[$1] "\""
        for (i = 2; i < 2 + columns; i++) {
            value = $i + 0
            spread = 0
            if (match($i, /±[0-9.]+%/))
                spread = substr($i, RSTART + 2, RLENGTH - 3) / 100 * value
            line = line " " value " " spread
        }
        block[panel[$1]] = block[panel[$1]] line "\n"
    }
    END {
        print "title = \"" title "; bars: the median of " rounds " rounds, whiskers: " \
            "half the spread either side\""
        print "servers = \"" servers "\""
        for (name in block)
            printf "$%s << EOD\n%sEOD\n", name, block[name]
    }' "$table")"

gnuplot <<EOF
$data
set terminal svg size 900,600 dynamic font "sans,12" background "white"
set output "$chart"
set style data histogram
set style histogram errorbars gap 1 lw 1
set style fill solid 0.85 border -1
set boxwidth 0.9
set grid ytics lc "gray80"
set xtics font ",10"
set yrange [0:*]
set linetype 1 lc "#1f77b4"
set linetype 2 lc "#9aa3ad"
set linetype 3 lc "#e0b040"
set multiplot layout 2,2 title title font "sans,11"
set title "Requests per second, 50 connections (higher is better)"
set key top right
plot for [i=1:words(servers)] \$rps using 2*i:2*i+1:xtic(1) title word(servers, i)
set title "Latency in ms (lower is better)"
unset key
plot for [i=1:words(servers)] \$latency using 2*i:2*i+1:xtic(1) title word(servers, i)
set title "Download speed in MB/s (higher is better)"
plot for [i=1:words(servers)] \$download using 2*i:2*i+1:xtic(1) title word(servers, i)
set title "Memory (RSS) in MiB (lower is better)"
plot for [i=1:words(servers)] \$memory using 2*i:2*i+1:xtic(1) title word(servers, i)
unset multiplot
EOF
echo "$chart"
