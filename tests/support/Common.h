#pragma once
// What many suites share: the error a call raises, the plug-in's names, the restart datagram.

#include "runtime/Error.h"

#include <QByteArray>
#include <QString>

// The error `f` raises; {0, ""} when it raises none.
template <class F>
vb::Error errorOf(F f)
try {
    f();
    return {};
} catch (const vb::Error& e) {
    return e;
}

// The host's application name in the settings store, and the restart message as posted.
inline const QString kApp = QStringLiteral("Tamo for Windows NT/95");
inline const QByteArray kRestart("\x03\x02\0\0\0\0\0\0\0\0\0\0", 12);
