# What the benchmark tables share (scripts/lib/bench-table.sh and bench-web.sh).
# The median of the numbers on standard input, one a line; "nan" when there are none.
median() {
  sort -g | awk '{v[NR]=$1} END {if (NR==0) print "nan"; else if (NR%2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'
}
