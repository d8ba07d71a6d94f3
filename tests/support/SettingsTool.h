#pragma once
// Runs settings_tool, the store's second process, and speaks its hexadecimal UTF-16.

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

// The program and arguments that run the tool.
QStringList settingsToolCommand(const QStringList& arguments);
// Runs the tool in the current environment and waits for it (at most a minute); `asNobody`
// runs it as uid 65534 through setpriv, since root ignores permission bits.
ToolRun runSettingsTool(const QStringList& arguments, bool asNobody = false);
// A value ("Section/Key") of `app` as the tool reads it; "<absent>" when there is none.
QString storedValue(const QString& app, const QString& value);
