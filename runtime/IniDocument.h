#pragma once
// The text of one settings file held in memory: parsed from bytes, queried and edited by section
// and key, written back as bytes. No I/O; SettingsStore puts it on disk. Depends on Qt Core only.
//
// Format (UTF-8, lines end with LF):
//   - blank lines (spaces and tabs only) and comment lines (first non-blank character ";" or
//     "#") are kept byte for byte by every edit, and so is every line the edit does not touch:
//     other sections, other keys, a leading UTF-8 byte-order mark, CR LF line ends, a missing
//     final LF;
//   - "[Section]": the name is everything between the first "[" and the last "]", as it stands
//     (blanks outside the brackets are ignored);
//   - "key=value": blanks (space, tab) around the first "=" and at the end of the line belong to
//     neither key nor value; keys before the first section are kept but cannot be addressed;
//   - values escape "\\" (backslash), "\s" (space; only leading and trailing spaces), "\t", "\n",
//     "\r", and "\uXXXX" (four hex digits, one UTF-16 unit) for other control characters
//     (U+0000-U+001F, U+007F-U+009F), U+2028, U+2029, U+FEFF, U+FFFE, U+FFFF and lone
//     surrogates; everything else is raw UTF-8. Readers accept hex in either case;
//   - a new key goes after the last key of its section; a new section goes at the end, after a
//     blank line.
// Bytes do not parse when they hold invalid UTF-8 (overlong forms and encoded surrogates
// included), a raw ASCII control character other than tab (NUL and DEL included; CR only as the
// last byte of a line), a line that is none of the kinds above ("[" without "]" at its end, text
// without "=", an empty key), an unknown or incomplete escape in any value, the same section
// header twice, or the same key twice in one section. Names compare exactly (case-sensitive).

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace vb {

class IniDocument {
public:
    // The document the bytes hold; nullopt when they do not parse, with the first line that does
    // not (counted from 1) in `failedLine`.
    static std::optional<IniDocument> parse(QByteArrayView bytes, int* failedLine = nullptr);

    // The value of `key` in `section`; nullopt when either is absent.
    std::optional<QString> value(const QString& section, const QString& key) const;
    // Replaces the key's line, or adds the key (and its section).
    void setValue(const QString& section, const QString& key, const QString& value);
    // Removes the key's line; its section stays. False when the key is absent.
    bool remove(const QString& section, const QString& key);

    QByteArray serialize() const;

private:
    struct Line {
        enum Kind { Blank, Comment, Section, Entry };
        QByteArray raw; // without its LF
        Kind kind = Blank;
        QString name;   // the section's name, or the entry's key
        QString value;  // the entry's decoded value
    };
    // Where a key is: the line of its section's header and its own line, -1 when absent.
    struct Place {
        qsizetype header = -1;
        qsizetype entry = -1;
        qsizetype end = -1; // after the section's last entry (when the key is absent)
    };
    Place find(const QString& section, const QString& key) const;
    // Reads a line's kind, name and value from its bytes; false when it does not parse.
    static bool readLine(Line& line, bool first);

    QList<Line> lines_;
    bool finalNewline_ = true; // false when the last line has no LF
};

// A value as the file holds it, and back; unescapeIniValue gives nullopt for a bad escape.
QString escapeIniValue(const QString& value);
std::optional<QString> unescapeIniValue(QStringView text);

// Names are written as they are: none may be empty or hold a character that values escape. A
// key also must not hold "=", start with "[", ";" or "#", or start or end with a blank.
bool isWritableIniName(const QString& name);
bool isWritableIniKey(const QString& key);

} // namespace vb
