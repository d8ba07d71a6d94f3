#pragma once
// The runtime's user-defined number format, the part the system uses: digit placeholders
// 0 and #, literal characters and backslash escapes ("00", "\.00", "\.0000").
// Depends on Qt Core only.

#include <QString>
#include <QStringView>

namespace vb {

// 3 with "00" gives "03", with "\.00" ".03", with "\.0000" ".0003"; 123 with "\.00" ".123".
QString FormatNumber(qint64 value, QStringView code);

} // namespace vb
