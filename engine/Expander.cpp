// The format expander. It scans the format once, copying literal text, resolving backslash
// escapes outside tokens, and handing each token between two percent signs to the procedure its
// first character selects. Every token of one expansion sees the one instant read at the start.

#include "engine/MoonInternal.h"
#include "engine/Reports.h"
#include "engine/ZPModule.h"

#include "runtime/Clock.h"
#include "runtime/DateFormat.h"
#include "runtime/Guard.h"
#include "runtime/Integer.h"
#include "runtime/Text.h"

#include <string_view>

namespace zp {

namespace {

using vb::Int16;
using vb::Int32;
using vb::OnError;

// Drops what a failed step appended, so that a token whose handler fails contributes nothing.
class AppendScope {
public:
    explicit AppendScope(QString& out) : out_(out), mark_(out.size()) { }
    ~AppendScope()
    {
        if (!committed_)
            out_.truncate(mark_);
    }
    void commit() { committed_ = true; }

private:
    QString& out_;
    qsizetype mark_;
    bool committed_ = false;
};

// Qt 6.4's QStringView::indexOf(QChar) goes through its general substring search, which costs
// more than a plain scan of the few characters of a token.
std::u16string_view units(QStringView text)
{
    return {text.utf16(), static_cast<size_t>(text.size())};
}

// Seconds in the time key: a lower-case "s" anywhere in the token, or a seconds field that the
// date format finds in it (SS, c, TTTTT ...), except in a resource token, whose "S" names a pool.
bool tokenShowsSeconds(QStringView token)
{
    if (units(token).find(u's') != std::u16string_view::npos)
        return true;
    return !token.startsWith(u'R') && vb::hasSecondsField(token);
}

// The time key as the date format writes "h:n" or "h:n:s" (numbers without leading zeros, joined
// by the time separator), built in place: the key is set once or twice per expansion, and a
// caller that expands in a loop keeps one key whose buffer is reused.
void setTimeKey(QString& sTimeKey, const vb::DateValue& dtValue, bool seconds)
{
    char16_t key[8]; // "23:59:59"
    qsizetype n = 0;
    auto put = [&](int v) { // [0, 59]
        if (v >= 10)
            key[n++] = char16_t(u'0' + v / 10);
        key[n++] = char16_t(u'0' + v % 10);
    };
    put(dtValue.hour());
    key[n++] = u':';
    put(dtValue.minute());
    if (seconds) {
        key[n++] = u':';
        put(dtValue.second());
    }
    sTimeKey.setUnicode(reinterpret_cast<const QChar*>(key), n);
}

void appendToken(QString& out, const vb::DateValue& dtValue, const QString& format, qsizetype begin,
                 qsizetype length)
{
    AppendScope scope(out);
    const QStringView view = QStringView(format).mid(begin, length);
    switch (view.front().unicode()) {
    case u't':
        out += APTime(dtValue, view.toString());
        break;
    case u'k':
        out += KTime(dtValue, view.toString());
        break;
    case u'o':
        vb::appendDecimal(out, moonAgeOf(dtValue));
        break;
    case u'r':
        out += MoonGraphic(moonAgeOf(dtValue));
        break;
    case u'R':
        out += FreeSysResource(view.toString());
        break;
    default:
        vb::formatDateInto(out, dtValue, view, vb::vbSunday, vb::vbFirstJan1);
        break;
    }
    scope.commit();
}

} // namespace

QString FromZPFToShowClk(const QString& sFormat, QString& sTimeKey)
{
    return FromZPFToShowClk(sFormat, sTimeKey, vb::Now);
}

QString FromZPFToShowClk(const QString& sFormat, QString& sTimeKey,
                         const std::function<vb::DateValue()>& now)
{
    // An invalid argument can only come from cutting a token that has no closing "%": the
    // format is malformed, and the expansion ends with the sentinel instead of a report.
    vb::Guard guard([](const vb::Error& e) {
        if (e.number == vb::InvalidArgument)
            return OnError::Exit;
        engineReport(QStringLiteral("FromZPFToShowClk"), e);
        return OnError::ResumeNext;
    });

    QString result;
    // Room for the format and a little more: tokens rarely expand to much more than their
    // own text, and growing the result step by step cost more than the formatting itself.
    result.reserve(sFormat.size() + 32);
    Int16 inToken(0);
    vb::DateValue dtValue;
    guard([&] { dtValue = now(); });
    guard([&] { setTimeKey(sTimeKey, dtValue, false); });
    const Int32 limit(vb::Len(sFormat));
    const QChar* text = sFormat.constData();

    Int32 position(1);
    while (!guard.exited() && position <= limit) {
        const qsizetype at = position.value() - 1;
        const QChar ch = text[at];
        if (ch == u'%') {
            inToken = Int16(inToken.value() ^ 1);
        } else if (inToken.value() == 1) {
            // The first character of a token: it runs up to the next "%".
            Int32 closing;
            // InStr from the position: the 1-based position of the next "%", or 0.
            guard([&] {
                const size_t found = units(sFormat).find(u'%', static_cast<size_t>(at));
                closing = Int32(found == std::u16string_view::npos ? 0 : static_cast<qint32>(found + 1));
            });
            qint32 length = 0;
            const bool cut = guard([&] {
                length = (closing - position).value();
                if (length < 0) // what cutting with a negative length raises
                    vb::raiseError(vb::InvalidArgument);
            });
            if (cut) {
                const QStringView token = QStringView(sFormat).mid(at, length);
                if (guard.test([&] { return tokenShowsSeconds(token); }))
                    guard([&] { setTimeKey(sTimeKey, dtValue, true); });
                guard([&] { appendToken(result, dtValue, sFormat, at, length); });
                // The step below brings the scan onto the closing "%", which leaves the token.
                guard([&] { position = closing - Int32(1); });
            }
        } else if (ch == u'\\') {
            // The escaped character is never interpreted; a trailing backslash gives nothing.
            if (at + 1 < limit.value())
                result += text[at + 1];
            guard([&] { position = position + Int32(1); });
        } else {
            // A run of literal text up to the next "%" or backslash, copied at once.
            qsizetype end = at + 1;
            while (end < limit.value() && text[end] != u'%' && text[end] != u'\\')
                ++end;
            result.append(text + at, end - at);
            position = Int32(static_cast<qint32>(end));
        }
        guard([&] { position = position + Int32(1); });
    }
    if (guard.exited())
        return QString::fromUtf16(kZPErr);
    return result;
}

} // namespace zp
