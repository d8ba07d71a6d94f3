#!/bin/sh
# build_page.sh SCDOC SOURCE PAGE VERSION EXAMPLES
# Writes the manual page PAGE (and PAGE.gz, for installing) from the scdoc SOURCE: @VERSION@
# becomes VERSION, and a line @EXAMPLES@ becomes the rows of EXAMPLES (format, instant, output,
# tab-separated; '#' lines are comments), each as the tamo-clock command that shows it.
set -eu
scdoc=$1 source=$2 page=$3 version=$4 examples=$5

mkdir -p "$(dirname "$page")"
awk -v version="$version" -v examples="$examples" '
# scdoc reads a backslash as an escape even in a literal block.
function escaped(s,    r, i, c) {
    r = ""
    for (i = 1; i <= length(s); i++) {
        c = substr(s, i, 1)
        r = r (c == "\\" ? "\\\\" : c)
    }
    return r
}
# The text as one shell word in single quotes.
function quoted(s,    r, i, c) {
    r = "'\''"
    for (i = 1; i <= length(s); i++) {
        c = substr(s, i, 1)
        r = r (c == "'\''" ? "'\''\\'\'''\''" : c)
    }
    return r "'\''"
}
$0 == "@EXAMPLES@" {
    print "```"
    first = 1
    while ((getline row < examples) > 0) {
        if (row == "" || substr(row, 1, 1) == "#")
            continue
        n = split(row, field, "\t")
        if (n != 3) {
            print "build_page.sh: " examples ": not three fields: " row > "/dev/stderr"
            exit 1
        }
        if (!first)
            print ""
        first = 0
        print escaped("$ tamo-clock --at " field[2] " --format " quoted(field[1]))
        print escaped(field[3])
    }
    close(examples)
    print "```"
    next
}
{ gsub(/@VERSION@/, version); print }
' "$source" > "$page.scd"
"$scdoc" < "$page.scd" > "$page"
gzip -9n -c "$page" > "$page.gz"
