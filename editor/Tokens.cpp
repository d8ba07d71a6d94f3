#include "editor/Tokens.h"

#include "runtime/Error.h"
#include "runtime/Integer.h"
#include "runtime/NumberFormat.h"

namespace zp {

QString timeToken(int hourStyle, bool withSeconds)
{
    QString token = QStringLiteral("h:nn");
    if (hourStyle == 0)
        token.prepend(QStringLiteral("tt_"));
    else if (hourStyle >= 2)
        token.prepend(QStringLiteral("kk") + vb::CStr(qint64(hourStyle) - 1)); // 25 → kk1 … 29 → kk5
    if (withSeconds)
        token += QStringLiteral(":ss");
    return token;
}

QString tokenText(qint16 index, int hourStyle, bool withSeconds, const SetCodes& sSetCode,
                  int paletteIndex)
{
    switch (index) {
    case 0: return timeToken(hourStyle, withSeconds);
    case 1: return QStringLiteral("d");
    case 2: return QStringLiteral("m");
    case 3: return QStringLiteral("mmm");
    case 4: return QStringLiteral("aaa");
    case 5: return QStringLiteral("ddd");
    case 6:
        if (paletteIndex < 0 || paletteIndex >= int(sSetCode.size()))
            vb::raiseError(vb::SubscriptOutOfRange);
        return sSetCode[size_t(paletteIndex)];
    }
    vb::raiseError(vb::SubscriptOutOfRange);
}

QString aboutText(const vb::Version& version)
{
    QString text = QStringLiteral("Tamo Zephyr Panel ");
    text += vb::CStr(qint64(version.major));
    text += vb::FormatNumber(version.minor, u"\\.00");
    text += vb::FormatNumber(version.revision, u"\\.0000");
    text += u"\r\nPlug-in Component for Tamo\r\n\r\n";
    text += u"Copyright (C) the Tamo Zephyr Panel authors. Free software, without any warranty.";
    return text;
}

} // namespace zp
