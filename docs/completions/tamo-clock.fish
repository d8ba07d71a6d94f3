# fish completion for tamo-clock: its options, after --at the present instant, to the minute,
# as --at reads it, and after --holidays this year.

complete -c tamo-clock -f
complete -c tamo-clock -l format -x -d 'Expand TEXT instead of the stored format'
complete -c tamo-clock -l tooltip -x -d 'Expand TEXT too, as the tooltip of --json'
complete -c tamo-clock -l at -x -a '(date +%Y-%m-%dT%H:%M)' -d 'Use a local instant instead of the clock'
complete -c tamo-clock -l time-key -n 'not __fish_seen_argument -l follow' -d 'Print the time key on a second line'
complete -c tamo-clock -l json -n 'not __fish_seen_argument -l pango' -d 'Print JSON lines for waybar'
complete -c tamo-clock -l pango -n 'not __fish_seen_argument -l json' -d 'Print the line as Pango markup'
complete -c tamo-clock -l follow -n 'not __fish_seen_argument -l time-key' -d 'Keep running as the clock host'
complete -c tamo-clock -l calendar-tooltip -n '__fish_seen_argument -l json' -d 'Show the calendar of this month as the tooltip of --json'
complete -c tamo-clock -l calendar -d 'Show the calendar of a month (YYYY-MM next, else this month)'
complete -c tamo-clock -l holidays -x -a '(date +%Y)' -d 'Print the national holidays of YEAR'
complete -c tamo-clock -s h -l help -d 'Show the usage and exit'
complete -c tamo-clock -l version -d 'Show the version and exit'
