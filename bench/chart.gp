# ns per byte against size, one panel per interpreter.
#   gnuplot -e "dir='build/bench'" bench/chart.gp
if (!exists("dir")) dir = 'build/bench'
set terminal pngcairo size 1100,520 font ",10"
set output dir.'/bench.png'
set multiplot layout 1,2 title "vorsel: CPU time per byte (median), against the byte-table floor"
set logscale x 2
set xrange [11:24000000]
set logscale y 2
set xlabel "table size (bytes)"
set ylabel "ns per byte"
set key below
set grid
set xtics ("16 B" 16, "1 KiB" 1024, "64 KiB" 65536, "1 MiB" 1048576, "16 MiB" 16777216)
do for [interp in "lua5.1 luajit"] {
    set title interp
    plot dir.'/'.interp.'.dat' using 1:2 with linespoints title "encrypt", \
         ''                   using 1:3 with linespoints title "decrypt", \
         ''                   using 1:4 with linespoints title "floor (read + presized write)", \
         ''                   using 1:5 with linespoints dashtype 2 title "building the input in Lua"
}
unset multiplot
