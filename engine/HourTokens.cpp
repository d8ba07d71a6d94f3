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

namespace zp {

namespace {

// Positions are read as views: a token is never copied to look at a few of its characters.
QStringView rest(const QString& sToken, qsizetype from)
{
    return QStringView(sToken).mid(from - 1); // empty past the end
}

bool asksForTwoDigits(const QString& sToken)
{
    return QStringView(sToken).mid(3, 2) == u"hh";
}

// The rest of the token, an ordinary date format of the same instant, after the hour.
void appendRest(QString& hourText, const vb::DateValue& dtValue, QStringView rest)
{
    vb::formatDateInto(hourText, dtValue, rest, vb::vbSunday, vb::vbFirstJan1);
}

} // namespace

QString APTime(const vb::DateValue& dtValue, const QString& sToken)
{
    vb::Guard guard(QStringLiteral("APTime"), engineReport);
    qint32 hour = 0; // [0, 23]; hour - 12 and hour + 24 cannot overflow
    QString hourText;
    QStringView restCode;

    // The hour the date format prints with "h", without printing and reading it back.
    guard([&] { hour = dtValue.hour(); });
    // Noon and midnight both read 0: the dial never shows 12.
    if (guard.test([&] { return asksForTwoDigits(sToken); })) {
        guard([&] { hourText = vb::FormatNumber(hour < 12 ? hour : hour - 12, u"00"); });
        guard([&] { restCode = rest(sToken, 6); });
    } else {
        guard([&] { vb::appendDecimal(hourText, hour < 12 ? hour : hour - 12); });
        guard([&] { restCode = rest(sToken, 5); });
    }
    if (guard.test([&] { return !restCode.isEmpty(); }))
        guard([&] { appendRest(hourText, dtValue, restCode); });
    return hourText;
}

QString KTime(const vb::DateValue& dtValue, const QString& sToken)
{
    vb::Guard guard(QStringLiteral("KTime"), engineReport);
    qint32 hour = 0; // [0, 23]
    qint32 boundary = 0; // [0, 9] when the token has a digit there
    QString hourText;
    QStringView restCode;

    guard([&] { hour = dtValue.hour(); });
    // A missing or non-numeric third character raises 13 here; the boundary stays 0, which
    // never shifts, so the token then reads as the 24-hour clock.
    guard([&] { boundary = vb::CLng(QStringView(sToken).mid(2, 1)).value(); });
    if (guard.test([&] { return asksForTwoDigits(sToken); })) {
        // Two digits either way: "00" of the shifted hour, or the date format's "hh".
        if (guard.test([&] { return hour < boundary; }))
            guard([&] { hourText = vb::FormatNumber(hour + 24, u"00"); });
        else
            guard([&] { hourText = vb::FormatNumber(hour, u"00"); });
        guard([&] { restCode = rest(sToken, 6); });
    } else {
        guard([&] { vb::appendDecimal(hourText, hour < boundary ? hour + 24 : hour); });
        guard([&] { restCode = rest(sToken, 5); });
    }
    if (guard.test([&] { return !restCode.isEmpty(); }))
        guard([&] { appendRest(hourText, dtValue, restCode); });
    return hourText;
}

} // namespace zp
