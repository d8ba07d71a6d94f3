#pragma once
// Checked integers and number conversions of the runtime. Int16 and Int32 are value types whose
// arithmetic raises overflow (error 6) when the exact result leaves their range, as the classic
// runtime's Integer and Long do; -32768 and -2147483648 are ordinary values.
// Depends on Qt Core only.

#include <QString>
#include <QStringView>

#include <cstdint>

namespace vb {

[[noreturn]] void raiseOverflow();

class Int16 {
public:
    constexpr Int16() = default;
    constexpr explicit Int16(qint16 v) : v_(v) { }
    // Raises 6 when v lies outside -32768 to 32767.
    static Int16 checked(qint64 v)
    {
        if (v < -32768 || v > 32767)
            raiseOverflow();
        return Int16(static_cast<qint16>(v));
    }
    constexpr qint16 value() const { return v_; }

    friend Int16 operator+(Int16 a, Int16 b) { return checked(qint64(a.v_) + b.v_); }
    friend Int16 operator-(Int16 a, Int16 b) { return checked(qint64(a.v_) - b.v_); }
    friend Int16 operator*(Int16 a, Int16 b) { return checked(qint64(a.v_) * b.v_); }
    friend constexpr bool operator==(Int16, Int16) = default;
    friend constexpr auto operator<=>(Int16, Int16) = default;

private:
    qint16 v_ = 0;
};

class Int32 {
public:
    constexpr Int32() = default;
    constexpr explicit Int32(qint32 v) : v_(v) { }
    // Raises 6 when v lies outside the signed 32-bit range.
    static Int32 checked(qint64 v)
    {
        if (v < INT32_MIN || v > INT32_MAX)
            raiseOverflow();
        return Int32(static_cast<qint32>(v));
    }
    // Widening is always exact.
    constexpr explicit Int32(Int16 v) : v_(v.value()) { }
    constexpr qint32 value() const { return v_; }

    friend Int32 operator+(Int32 a, Int32 b) { return checked(qint64(a.v_) + b.v_); }
    friend Int32 operator-(Int32 a, Int32 b) { return checked(qint64(a.v_) - b.v_); }
    friend Int32 operator*(Int32 a, Int32 b) { return checked(qint64(a.v_) * b.v_); }
    friend constexpr bool operator==(Int32, Int32) = default;
    friend constexpr auto operator<=>(Int32, Int32) = default;

private:
    qint32 v_ = 0;
};

// Text to integer: surrounding spaces, an optional sign, decimal digits with an optional
// fraction (rounded half to even), or a &H / &O literal (read as the type's bit pattern, so
// "&HFFFF" is -1 as a 16-bit value). Other text, the empty text included, raises 13; a value
// out of range raises 6.
Int16 CInt(QStringView text);
Int32 CLng(QStringView text);
// A double rounded to the nearest integer, half to even; out of range (or NaN) raises 6.
Int16 CInt(double value);
Int32 CLng(double value);
// A double rounded down, toward minus infinity (-105.1 gives -106).
double Int(double value);
// Decimal text: digits, a minus sign when negative, no leading blank.
QString CStr(qint64 value);
inline QString CStr(Int16 v) { return CStr(qint64(v.value())); }
inline QString CStr(Int32 v) { return CStr(qint64(v.value())); }
// Appends the decimal text of `value` to `out` without a temporary string.
void appendDecimal(QString& out, qint64 value);

} // namespace vb
