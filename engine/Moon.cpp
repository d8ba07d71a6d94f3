// The moon's age by a fixed arithmetic rule on year, month and day (no astronomy), and its glyph.
// Every step computes in checked 16-bit integers, so a step that overflows is reported and the
// computation resumes with the next one, its result keeping the value it had.

#include "engine/MoonInternal.h"
#include "engine/Reports.h"
#include "engine/ZPModule.h"

#include "runtime/DateFormat.h"
#include "runtime/Guard.h"
#include "runtime/Integer.h"

namespace zp {

namespace {

using vb::Int16;
using vb::Int32;

// `part(code)` reads the year ("yyyy"), the month ("m") or the day ("d") as a 16-bit integer.
template <class ReadPart>
qint16 moonAge(ReadPart part)
{
    vb::Guard guard(QStringLiteral("MoonAge"), engineReport);
    Int16 year;
    double cycle = 0;
    Int32 sum;
    Int16 age;

    guard([&] { year = part(u"yyyy"); });
    // Rounded toward minus infinity, not toward zero: -105.1 gives -106.
    guard([&] { cycle = vb::Int(0.0 - double((year - Int16(4)).value()) / 19.0); });
    // One step: the month and the day are read only after the multiplication by 11, and a
    // failure anywhere leaves the sum unassigned.
    guard([&] {
        Int16 c = Int16(0) - vb::CInt(cycle);
        c = c * Int16(19);
        c = c - Int16(5);
        Int16 s = year - c; // [-9, 9] for years 100 to 9999
        s = s * Int16(11);
        s = s + part(u"m");
        s = s + part(u"d");
        sum = Int32(s);
    });
    // Truncating division: the remainder takes the sign of the sum (-56 gives -26).
    guard([&] { age = Int16::checked(sum.value() % 30); });
    if (guard.test([&] { return age < Int16(0); }))
        guard([&] { age = age + Int16(30); });
    return age.value();
}

} // namespace

qint16 MoonAge(const QString& sDate)
{
    return moonAge([&](QStringView code) { return vb::CInt(vb::Format(sDate, code)); });
}

qint16 moonAgeOf(const vb::DateValue& date)
{
    return moonAge([&](QStringView code) {
        const int v = code == u"yyyy" ? date.year() : code == u"m" ? date.month() : date.day();
        return Int16(static_cast<qint16>(v));
    });
}

QString MoonGraphic(qint16 iAge)
{
    // The first range that holds the age decides, so a shared bound takes the earlier glyph.
    // Storing a constant text cannot fail, so there is nothing here to guard.
    if (iAge >= 0 && iAge <= 3)
        return QStringLiteral("*-");
    if (iAge >= 3 && iAge <= 6)
        return QStringLiteral(" )");
    if (iAge >= 6 && iAge <= 10)
        return QStringLiteral("|)");
    if (iAge >= 10 && iAge <= 20)
        return QStringLiteral("○");
    if (iAge >= 20 && iAge <= 24)
        return QStringLiteral("(|");
    if (iAge >= 24 && iAge <= 27)
        return QStringLiteral("( ");
    if (iAge >= 27 && iAge <= 30)
        return QStringLiteral("-*");
    if (iAge > 30)
        return QStringLiteral("??");
    return {};
}

} // namespace zp
