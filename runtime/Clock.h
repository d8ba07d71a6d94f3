#pragma once
// The clock: the current local date and time to the second, read with clock_gettime and
// localtime_r (Qt's local-time conversion costs several times more). The source can be fixed
// to an instant, so that tests and the command-line clock can ask what a format shows at a
// given moment. Depends on Qt Core only.

#include "runtime/DateValue.h"

#include <optional>

namespace vb {

// The current local date and time, or the fixed instant when one is set.
DateValue Now();
// Fixes the clock to an instant (nullopt: back to the real clock). Not thread-safe; set it
// before the clock is read.
void setFixedNow(std::optional<DateValue> instant);

// The local date and time of a POSIX time (seconds since the epoch); raises 5 outside the
// years 100 to 9999.
DateValue localDateValue(qint64 unixSeconds);

// Reads the time zone again: a new TZ text, or with TZ unset a replaced /etc/localtime (a
// laptop that travelled, timedatectl set-timezone). glibc reads the zone once and never again
// by itself, so a program that runs for days calls this at each wake.
void reloadTimeZone();

} // namespace vb
