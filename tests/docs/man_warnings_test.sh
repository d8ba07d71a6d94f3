#!/bin/sh
# man_warnings_test.sh MAN_DIR: man reads each built page in MAN_DIR (page.1, page.5) without
# a word on standard error. Skipped (77) without man.
command -v man > /dev/null || { echo "man is not installed"; exit 77; }
status=0
pages=0
for page in "$1"/*.[1-9]; do
    [ -f "$page" ] || continue
    pages=$((pages + 1))
    warnings=$(man --warnings -l "$page" 2>&1 > /dev/null)
    if [ -n "$warnings" ]; then
        echo "$page:"
        echo "$warnings"
        status=1
    fi
done
[ "$pages" -gt 0 ] || { echo "no pages in $1"; exit 1; }
echo "$pages pages read"
exit $status
