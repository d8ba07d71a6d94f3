#pragma once
// VB-style text functions over UTF-16 QString, positions counted from 1.
// Depends on Qt Core only.

#include <QString>
#include <QStringView>

namespace vb {

// Characters from `start` to the end. start < 1 raises 5; past the end gives "".
QString Mid(const QString& text, qint32 start);
// At most `length` characters from `start`. start < 1 or length < 0 raises 5.
QString Mid(const QString& text, qint32 start, qint32 length);
// The first `length` characters; length < 0 raises 5.
QString Left(const QString& text, qint32 length);
// Position (from 1) of the first `find` at or after `start`, case-sensitive; 0 when absent.
// start < 1 raises 5. An empty `find` gives `start` when start <= Len(text) + 1.
qint32 InStr(qint32 start, const QString& text, const QString& find);
// Length in UTF-16 units.
qint32 Len(const QString& text);
// Strips leading and trailing U+0020 only (not tabs, not U+3000).
QString Trim(const QString& text);
// The UTF-16 unit with this code, 0 to 65535; anything else raises 5.
QString ChrW(qint32 code);

// The value of an ASCII hexadecimal digit (either case), or -1 for any other character.
constexpr int hexDigitValue(char16_t c)
{
    return c >= u'0' && c <= u'9' ? c - u'0'
         : c >= u'a' && c <= u'f' ? c - u'a' + 10
         : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                  : -1;
}

} // namespace vb
