#pragma once
// What every expansion must satisfy, shared by the fuzz target and the test that replays the
// kept inputs. An input's first byte chooses how the rest becomes a format: even, UTF-8
// (mutations stay readable and the dictionary's tokens apply); odd, raw UTF-16 units (lone
// surrogates and every other unit). The instant is fixed by the caller.

#include "engine/ZPModule.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace fuzz {

// Era change at the next midnight; the moon age there is 25.
inline const vb::DateValue kInstant(2019, 4, 30, 23, 59, 59);

inline QString formatFrom(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return {};
    if (data[0] & 1) {
        const std::size_t units = (size - 1) / 2;
        QString text(static_cast<qsizetype>(units), Qt::Uninitialized);
        if (units > 0)
            std::memcpy(text.data(), data + 1, units * 2);
        return text;
    }
    return QString::fromUtf8(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
}

// A format without "%" is literal text: each backslash takes the next character as it is.
inline QString unescaped(const QString& format)
{
    QString text;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] == u'\\')
            ++i;
        if (i < format.size())
            text += format[i];
    }
    return text;
}

// Expands the format twice at kInstant (set by the caller) and returns the first property the
// expansions break, or nullptr: the time key has one of its two forms, the same format gives
// the same text and key twice, and a format without "%" gives its literal text.
inline const char* brokenProperty(const QString& format)
{
    QString key = QStringLiteral("stale");
    const QString text = zp::FromZPFToShowClk(format, key);
    if (key != u"23:59" && key != u"23:59:59")
        return "the time key is neither h:n nor h:n:s";
    QString again;
    if (zp::FromZPFToShowClk(format, again) != text || again != key)
        return "the same format expands differently at the same instant";
    if (!format.contains(u'%') && text != unescaped(format))
        return "a format without tokens does not give its literal text";
    return nullptr;
}

} // namespace fuzz
