#include "runtime/IniDocument.h"

#include "runtime/Text.h"

#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <utility>

namespace vb {

namespace {

// The one-letter escapes of values: the character and its letter.
constexpr std::pair<char16_t, char16_t> kEscapes[] = {{u'\\', u'\\'}, {u' ', u's'}, {u'\t', u't'}, {u'\n', u'n'}, {u'\r', u'r'}};

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QStringView stripBlanks(QStringView s)
{
    while (!s.isEmpty() && isBlank(s.front()))
        s = s.sliced(1);
    while (!s.isEmpty() && isBlank(s.back()))
        s.chop(1);
    return s;
}

// Whether the unit at `i` is written \uXXXX: what UTF-8 cannot carry (lone surrogates) and what
// readers or editors drop or act on. A surrogate pair is not, and `i` moves to its low half.
bool needsUnicodeEscape(QStringView text, qsizetype& i)
{
    const char16_t u = text[i].unicode();
    if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        ++i;
        return false;
    }
    return QChar::isSurrogate(u) || u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028
        || u == 0x2029 || u == 0xFEFF || u >= 0xFFFE;
}

bool holdsUnwritable(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (needsUnicodeEscape(text, i))
            return true;
    }
    return false;
}

} // namespace

QString escapeIniValue(const QString& value)
{
    qsizetype lead = 0, trail = value.size(); // spaces before `lead` and from `trail` on are \s
    while (lead < trail && value[lead] == u' ')
        ++lead;
    while (trail > lead && value[trail - 1] == u' ')
        --trail;
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        const auto* escape = std::find_if(std::begin(kEscapes), std::end(kEscapes), [c](auto e) { return e.first == c; });
        const qsizetype start = i;
        if (escape != std::end(kEscapes) && (c != u' ' || i < lead || i >= trail))
            out.append(u'\\').append(QChar(escape->second));
        else if (needsUnicodeEscape(value, i))
            out += QString::number(c.unicode(), 16).rightJustified(4, u'0').toUpper().prepend(u"\\u");
        else
            out += QStringView(value).sliced(start, i - start + 1);
    }
    return out;
}

std::optional<QString> unescapeIniValue(QStringView text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        const QChar letter = text[i];
        const auto* escape = std::find_if(std::begin(kEscapes), std::end(kEscapes), [letter](auto e) { return e.second == letter; });
        if (escape != std::end(kEscapes)) {
            out += QChar(escape->first);
            continue;
        }
        if (letter != u'u' || i + 4 >= text.size())
            return std::nullopt;
        char16_t unit = 0;
        for (const QChar digit : text.sliced(i + 1, 4)) {
            if (hexDigitValue(digit.unicode()) < 0)
                return std::nullopt;
            unit = char16_t(unit * 16 + hexDigitValue(digit.unicode()));
        }
        out += QChar(unit);
        i += 4;
    }
    return out;
}

bool isWritableIniName(const QString& name)
{
    return !name.isEmpty() && !holdsUnwritable(name);
}

bool isWritableIniKey(const QString& key)
{
    return isWritableIniName(key) && !key.contains(u'=') && !isBlank(key.front())
        && !isBlank(key.back()) && key.front() != u'[' && key.front() != u';' && key.front() != u'#';
}

bool IniDocument::readLine(Line& line, bool first)
{
    QByteArrayView body = line.raw;
    if (body.endsWith('\r'))
        body.chop(1);
    if (first && body.startsWith("\xEF\xBB\xBF"))
        body = body.sliced(3);
    for (const char c : body) {
        if ((uchar(c) < 0x20 && c != '\t') || c == 0x7F)
            return false;
    }
    // Stateless: a sequence cut short at the end is an error, not kept for more input. Qt's
    // decoder rejects overlong forms, encoded surrogates and code points above U+10FFFF.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = utf8(body);
    if (utf8.hasError())
        return false;
    const QStringView trimmed = stripBlanks(text);
    if (trimmed.isEmpty()) {
        line.kind = Line::Blank;
    } else if (trimmed.front() == u';' || trimmed.front() == u'#') {
        line.kind = Line::Comment;
    } else if (trimmed.front() == u'[') {
        if (trimmed.size() < 2 || trimmed.back() != u']')
            return false;
        line.kind = Line::Section;
        line.name = trimmed.sliced(1, trimmed.size() - 2).toString();
    } else {
        const qsizetype eq = text.indexOf(u'=');
        if (eq < 0)
            return false;
        line.kind = Line::Entry;
        line.name = stripBlanks(QStringView(text).first(eq)).toString();
        const std::optional<QString> value = unescapeIniValue(stripBlanks(QStringView(text).sliced(eq + 1)));
        line.value = value.value_or(QString());
        return !line.name.isEmpty() && value;
    }
    return true;
}

std::optional<IniDocument> IniDocument::parse(QByteArrayView bytes, int* failedLine)
{
    IniDocument document;
    QSet<QString> sections, keys; // keys of the current section
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            document.finalNewline_ = false, end = bytes.size();
        Line line{bytes.sliced(start, end - start).toByteArray()};
        start = end + 1;
        bool ok = readLine(line, document.lines_.isEmpty());
        if (line.kind == Line::Section) {
            ok = ok && !sections.contains(line.name);
            sections.insert(line.name);
            keys.clear();
        } else if (line.kind == Line::Entry) {
            ok = ok && !keys.contains(line.name);
            keys.insert(line.name);
        }
        document.lines_.append(std::move(line));
        if (!ok) {
            if (failedLine)
                *failedLine = int(document.lines_.size());
            return std::nullopt;
        }
    }
    return document;
}

IniDocument::Place IniDocument::find(const QString& section, const QString& key) const
{
    Place place;
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == Line::Section) {
            if (place.header >= 0)
                break;
            if (line.name == section)
                place.header = i, place.end = i + 1;
        } else if (place.header >= 0 && line.kind == Line::Entry) {
            place.end = i + 1;
            if (line.name == key) {
                place.entry = i;
                break;
            }
        }
    }
    return place;
}

std::optional<QString> IniDocument::value(const QString& section, const QString& key) const
{
    const qsizetype at = find(section, key).entry;
    return at < 0 ? std::nullopt : std::optional(lines_[at].value);
}

void IniDocument::setValue(const QString& section, const QString& key, const QString& value)
{
    Line entry{(key + u'=' + escapeIniValue(value)).toUtf8(), Line::Entry, key, value};
    const Place place = find(section, key);
    if (place.entry >= 0) {
        lines_[place.entry] = std::move(entry);
        return;
    }
    qsizetype at = place.end;
    if (place.header < 0) {
        if (!lines_.isEmpty() && lines_.back().kind != Line::Blank)
            lines_.append(Line{});
        lines_.append(Line{(u'[' + section + u']').toUtf8(), Line::Section, section});
        at = lines_.size();
    }
    // After the section's last entry, so that comments heading the next section stay there.
    if (at == lines_.size())
        finalNewline_ = true;
    lines_.insert(at, std::move(entry));
}

bool IniDocument::remove(const QString& section, const QString& key)
{
    const qsizetype at = find(section, key).entry;
    if (at < 0)
        return false;
    lines_.removeAt(at);
    if (at == lines_.size())
        finalNewline_ = true; // the line before the removed last one had its LF
    return true;
}

QByteArray IniDocument::serialize() const
{
    QByteArray out;
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        out += lines_[i].raw;
        if (i + 1 < lines_.size() || finalNewline_)
            out += '\n';
    }
    return out;
}

} // namespace vb
