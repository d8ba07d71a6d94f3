#include "runtime/Integer.h"

#include "runtime/Text.h"

#include "runtime/Error.h"

#include <cmath>
#include <optional>

namespace vb {

void raiseOverflow()
{
    raiseError(Overflow);
}

namespace {

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t';
}

// The exact value of a numeric text, rounded half to even, or nullopt when the text is no
// number. `bits` gives the width of &H / &O literals, which are read as a bit pattern.
// Values far outside any range saturate to a magnitude that still overflows.
std::optional<qint64> parseNumber(QStringView text, int bits)
{
    qsizetype i = 0;
    qsizetype n = text.size();
    while (i < n && isSpace(text[i]))
        ++i;
    while (n > i && isSpace(text[n - 1]))
        --n;
    if (i == n)
        return std::nullopt;

    constexpr qint64 saturated = qint64(1) << 40;

    if (text[i] == u'&' && i + 1 < n) {
        const QChar kind = text[i + 1].toUpper();
        const int radix = kind == u'H' ? 16 : kind == u'O' ? 8 : 0;
        if (radix == 0 || i + 2 == n)
            return std::nullopt;
        quint64 v = 0;
        for (qsizetype k = i + 2; k < n; ++k) {
            const int d = hexDigitValue(text[k].unicode());
            if (d < 0 || d >= radix)
                return std::nullopt;
            v = v * radix + d;
            if (v >= (quint64(1) << 40))
                v = quint64(1) << 40;
        }
        const quint64 range = quint64(1) << bits;
        if (v >= range)
            return saturated;
        // A literal with the top bit set stands for a negative value.
        if (v >= range / 2)
            return qint64(v) - qint64(range);
        return qint64(v);
    }

    bool negative = false;
    if (text[i] == u'+' || text[i] == u'-') {
        negative = text[i] == u'-';
        ++i;
    }
    qint64 whole = 0;
    bool digits = false;
    while (i < n && text[i] >= u'0' && text[i] <= u'9') {
        whole = std::min<qint64>(whole * 10 + (text[i].unicode() - u'0'), saturated);
        digits = true;
        ++i;
    }
    int firstFraction = -1; // first fraction digit
    bool restNonZero = false; // any non-zero digit after the first
    if (i < n && text[i] == u'.') {
        ++i;
        while (i < n && text[i] >= u'0' && text[i] <= u'9') {
            const int d = text[i].unicode() - u'0';
            if (firstFraction < 0)
                firstFraction = d;
            else if (d != 0)
                restNonZero = true;
            digits = true;
            ++i;
        }
    }
    if (!digits || i != n)
        return std::nullopt;
    if (firstFraction > 5 || (firstFraction == 5 && (restNonZero || whole % 2 == 1)))
        ++whole;
    return negative ? -whole : whole;
}

} // namespace

Int16 CInt(QStringView text)
{
    const auto v = parseNumber(text, 16);
    if (!v)
        raiseError(TypeMismatch);
    return Int16::checked(*v);
}

Int32 CLng(QStringView text)
{
    const auto v = parseNumber(text, 32);
    if (!v)
        raiseError(TypeMismatch);
    return Int32::checked(*v);
}

Int16 CInt(double value)
{
    if (!(value >= -32768.5 && value <= 32767.5))
        raiseOverflow();
    return Int16::checked(static_cast<qint64>(std::nearbyint(value)));
}

Int32 CLng(double value)
{
    if (!(value >= -2147483648.5 && value <= 2147483647.5))
        raiseOverflow();
    return Int32::checked(static_cast<qint64>(std::nearbyint(value)));
}

double Int(double value)
{
    return std::floor(value);
}

void appendDecimal(QString& out, qint64 value)
{
    char16_t buffer[24];
    char16_t* end = buffer + 24;
    char16_t* p = end;
    // Work on the magnitude as unsigned so that the most negative value is no special case.
    quint64 magnitude = value < 0 ? quint64(0) - quint64(value) : quint64(value);
    do {
        *--p = char16_t(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        *--p = u'-';
    out.append(QStringView(p, end - p));
}

QString CStr(qint64 value)
{
    QString s;
    appendDecimal(s, value);
    return s;
}

} // namespace vb
