#pragma once
// Runs settings_tool (settings_tool.cpp), the second process of the store's cross-process
// tests, and converts values to and from the hexadecimal UTF-16 it speaks.

#include <QByteArray>
#include <QString>
#include <QStringList>

// Four hex digits per UTF-16 unit, no separators ("0041" is "A").
inline QString fromHexUnits(const QByteArray& hex)
{
    QString out;
    for (qsizetype i = 0; i + 4 <= hex.size(); i += 4)
        out += QChar(char16_t(hex.mid(i, 4).toUShort(nullptr, 16)));
    return out;
}

inline QByteArray toHexUnits(const QString& text)
{
    QByteArray out;
    for (const QChar c : text)
        out += QByteArray::number(c.unicode(), 16).rightJustified(4, '0');
    return out;
}

struct ToolRun {
    int exitCode = -1;
    QByteArray out; // standard output without its final LF
};

// Path of the built tool.
QString settingsToolPath();
// The program and arguments that run the tool, under setpriv as uid and gid 65534 when
// `asNobody` (root ignores permission bits, so permission cases need another user).
QStringList settingsToolCommand(const QStringList& arguments, bool asNobody = false);
// Runs the tool in the current environment and waits for it (at most a minute).
ToolRun runSettingsTool(const QStringList& arguments, bool asNobody = false);
