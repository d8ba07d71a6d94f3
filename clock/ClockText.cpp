#include "clock/ClockText.h"

#include "clock/ClockOptions.h"
#include "editor/ZPSettings.h"

#include "runtime/Clock.h"
#include "runtime/Guard.h"
#include "runtime/SettingsStore.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace clk {

QString displayFormat(const vb::SettingsStore& store, const std::optional<QString>& given)
{
    if (given)
        return *given;
    QString format = QString::fromUtf16(kBuiltInFormat);
    vb::Guard guard([](const vb::Error& e) {
        errorLine(QStringLiteral("cannot read the stored settings: ") + e.description);
        return vb::OnError::Exit;
    });
    guard([&] { format = storedDisplayFormat(store); });
    return format;
}

QString storedDisplayFormat(const vb::SettingsStore& store)
{
    const QString app = QString::fromUtf16(zp::kAppName);
    const QString flag = store.GetSetting(app, QString::fromUtf16(zp::kSectionPlugIn),
                                          QString::fromUtf16(zp::kKeyEnable), QString());
    if (flag != u"1")
        return QString::fromUtf16(kBuiltInFormat);
    return store.GetSetting(app, QString::fromUtf16(zp::kSectionMain), QString::fromUtf16(zp::kKeyFormat),
                            QString());
}

std::function<vb::DateValue()> heldClock(std::optional<vb::DateValue>& held)
{
    return [&held] {
        if (!held)
            held = vb::Now();
        return *held;
    };
}

QString withoutLoneSurrogates(const QString& text)
{
    QString result = text;
    for (qsizetype i = 0; i < result.size(); ++i) {
        const QChar c = result[i];
        if (c.isHighSurrogate() && i + 1 < result.size() && result[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            result[i] = QChar(QChar::ReplacementCharacter);
    }
    return result;
}

QByteArray jsonString(const QString& text)
{
    static constexpr char hex[] = "0123456789abcdef";
    const QString clean = withoutLoneSurrogates(text);
    QString escaped;
    escaped.reserve(clean.size() + 2);
    escaped += u'"';
    for (const QChar ch : clean) {
        const char16_t c = ch.unicode();
        switch (c) {
        case u'"': escaped += QStringLiteral("\\\""); continue;
        case u'\\': escaped += QStringLiteral("\\\\"); continue;
        case u'\n': escaped += QStringLiteral("\\n"); continue;
        case u'\r': escaped += QStringLiteral("\\r"); continue;
        case u'\t': escaped += QStringLiteral("\\t"); continue;
        case u'\b': escaped += QStringLiteral("\\b"); continue;
        case u'\f': escaped += QStringLiteral("\\f"); continue;
        default: break;
        }
        // Control characters must be escaped; U+2028 and U+2029 too, because JavaScript
        // readers of the line take them for line ends.
        if (c < 0x20 || c == 0x2028 || c == 0x2029) {
            escaped += QStringLiteral("\\u");
            escaped += QLatin1Char(hex[c >> 12]);
            escaped += QLatin1Char(hex[(c >> 8) & 15]);
            escaped += QLatin1Char(hex[(c >> 4) & 15]);
            escaped += QLatin1Char(hex[c & 15]);
            continue;
        }
        escaped += ch;
    }
    escaped += u'"';
    return escaped.toUtf8();
}

QString markupEscaped(const QString& text, bool escapeBar)
{
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (const QChar ch : text) {
        switch (ch.unicode()) {
        case u'&': escaped += QStringLiteral("&amp;"); break;
        case u'<': escaped += QStringLiteral("&lt;"); break;
        case u'>': escaped += QStringLiteral("&gt;"); break;
        case u'|': escaped += escapeBar ? QStringLiteral("&#124;") : QStringLiteral("|"); break;
        default: escaped += ch; break;
        }
    }
    return escaped;
}

QByteArray outputLine(const QString& text, LineForm form, const std::optional<QString>& tooltip,
                      TooltipForm tooltipForm)
{
    QByteArray line;
    switch (form) {
    case LineForm::Plain:
        line = withoutLoneSurrogates(text).toUtf8();
        break;
    case LineForm::Pango:
        line = withoutLoneSurrogates(markupEscaped(text, true)).toUtf8();
        break;
    case LineForm::Json:
        // waybar reads both as markup: a bare "&" or "<" would make it show nothing at all.
        line = "{\"text\": " + jsonString(markupEscaped(text, false));
        if (tooltip)
            line += ", \"tooltip\": "
                + jsonString(tooltipForm == TooltipForm::Markup ? *tooltip : markupEscaped(*tooltip, false));
        line += '}';
        break;
    }
    line += '\n';
    return line;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n >= 0) {
            p += n;
            left -= n;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // A descriptor that a parent left non-blocking: wait until it takes more.
            pollfd pfd{fd, POLLOUT, 0};
            ::poll(&pfd, 1, -1);
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

void errorLine(const QString& what)
{
    QString line = QString::fromUtf16(kProgramName) + QStringLiteral(": ") + what;
    line.replace(u'\n', u' '); // one line, even for a path with a line break in it
    writeAll(STDERR_FILENO, line.toUtf8() + '\n');
}

} // namespace clk
