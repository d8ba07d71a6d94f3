#pragma once
// Japan's national holidays, computed by rule from the holidays law's start (1948-07-20) to
// 2099: the 国民の祝日 with the years each was held and the dates it moved to, 春分の日 and 秋分の日
// by the usual approximation of the equinox, 振替休日 and 国民の休日 under each of their rules,
// and the one-off days. The equinox days are official only once announced, about a year
// ahead; the approximation gives the announced ones from 1955 to 2027, the years checked.
// Depends on the runtime (Qt Core).

#include "runtime/DateValue.h"

#include <QString>

#include <vector>

namespace zp {

inline constexpr int kFirstHolidayYear = 1948;
inline constexpr int kLastHolidayYear = 2099;

struct Holiday {
    vb::DateValue date; // midnight
    QString name;       // the law's name, "振替休日" or "国民の休日"
};

// The holidays of `year` in date order; empty outside kFirstHolidayYear to kLastHolidayYear.
std::vector<Holiday> holidaysOf(int year);

} // namespace zp
