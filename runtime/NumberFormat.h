#pragma once
// The runtime's user-defined number format, the part the system uses: digit placeholders
// 0 and #, literal characters and backslash escapes ("00", "\.00", "\.0000").
// Depends on Qt Core only.

#include <QString>
#include <QStringView>

namespace vb {

// 3 with "00" gives "03", with "\.00" ".03", with "\.0000" ".0003"; 123 with "\.00" ".123".
// The integer's digits fill the placeholders before the first "." from the right, the leftmost
// taking any excess; a 0 pads with zero from its place on, a # shows nothing where the number
// has no digit (0 with "#" is empty). After the point a 0 shows 0 and a # nothing. A negative
// number's minus sign comes first; with no placeholder before the point, the digits stand just
// before it, or last when there is no point. "quoted text", a backslash before any character, and every
// other character, the thousands separator, percent, ";" and "E+" included, are copied as
// written: grouping, sections and scaling are not part of this format.
QString FormatNumber(qint64 value, QStringView code);

} // namespace vb
