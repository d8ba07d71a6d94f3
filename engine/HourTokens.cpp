// The hour-style tokens: the 12-hour dial of a "t" token and the extended hour of a "k" token.
// Both read the token by fixed positions: 1 selected the procedure, 2 is ignored, 3 is the
// boundary digit of a "k" token, "hh" at 4 and 5 asks for two digits, and the rest after the
// hour code is an ordinary date format of the same instant, appended after the hour.

#include "engine/Reports.h"
#include "engine/ZPModule.h"

#include "runtime/DateFormat.h"
#include "runtime/Guard.h"
#include "runtime/Integer.h"
#include "runtime/NumberFormat.h"
#include "runtime/Text.h"

namespace zp {

namespace {

QString formatDate(const vb::DateValue& dtValue, QStringView code)
{
    return vb::Format(dtValue, code, vb::vbSunday, vb::vbFirstJan1);
}

// The hour as the date format prints it with "h", read back as a number: [0, 23].
qint32 hourOf(const vb::DateValue& dtValue)
{
    return vb::CLng(formatDate(dtValue, u"h")).value();
}

bool asksForTwoDigits(const QString& sToken)
{
    return vb::Mid(sToken, 4, 2) == u"hh";
}

} // namespace

QString APTime(const vb::DateValue& dtValue, const QString& sToken)
{
    vb::Guard guard(QStringLiteral("APTime"), engineReport);
    qint32 hour = 0; // [0, 23]; hour - 12 and hour + 24 cannot overflow
    QString hourText;
    QString rest;

    guard([&] { hour = hourOf(dtValue); });
    // Noon and midnight both read 0: the dial never shows 12.
    if (guard.test([&] { return asksForTwoDigits(sToken); })) {
        guard([&] { hourText = vb::FormatNumber(hour < 12 ? hour : hour - 12, u"00"); });
        guard([&] { rest = vb::Mid(sToken, 6); });
    } else {
        guard([&] { hourText = vb::CStr(hour < 12 ? hour : hour - 12); });
        guard([&] { rest = vb::Mid(sToken, 5); });
    }
    if (guard.test([&] { return !rest.isEmpty(); }))
        guard([&] { hourText += formatDate(dtValue, rest); });
    return hourText;
}

QString KTime(const vb::DateValue& dtValue, const QString& sToken)
{
    vb::Guard guard(QStringLiteral("KTime"), engineReport);
    qint32 hour = 0; // [0, 23]
    qint32 boundary = 0; // [0, 9] when the token has a digit there
    QString hourText;
    QString rest;

    guard([&] { hour = hourOf(dtValue); });
    // A missing or non-numeric third character raises 13 here; the boundary stays 0, which
    // never shifts, so the token then reads as the 24-hour clock.
    guard([&] { boundary = vb::CLng(vb::Mid(sToken, 3, 1)).value(); });
    if (guard.test([&] { return asksForTwoDigits(sToken); })) {
        if (guard.test([&] { return hour < boundary; }))
            guard([&] { hourText = vb::FormatNumber(hour + 24, u"00"); });
        else
            guard([&] { hourText = formatDate(dtValue, u"hh"); });
        guard([&] { rest = vb::Mid(sToken, 6); });
    } else {
        if (guard.test([&] { return hour < boundary; }))
            guard([&] { hourText = vb::CStr(hour + 24); });
        else
            guard([&] { hourText = formatDate(dtValue, u"h"); });
        guard([&] { rest = vb::Mid(sToken, 5); });
    }
    if (guard.test([&] { return !rest.isEmpty(); }))
        guard([&] { hourText += formatDate(dtValue, rest); });
    return hourText;
}

} // namespace zp
