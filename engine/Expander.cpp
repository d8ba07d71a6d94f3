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

// Seconds in the time key: a lower-case "s" anywhere in the token, or a seconds field that the
// date format finds in it (SS, c, TTTTT ...), except in a resource token, whose "S" names a pool.
bool tokenShowsSeconds(QStringView token)
{
    if (token.contains(u's'))
        return true;
    return !token.startsWith(u'R') && vb::hasSecondsField(token);
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
    // An invalid argument can only come from cutting a token that has no closing "%": the
    // format is malformed, and the expansion ends with the sentinel instead of a report.
    vb::Guard guard([](const vb::Error& e) {
        if (e.number == vb::InvalidArgument)
            return OnError::Exit;
        engineReport(QStringLiteral("FromZPFToShowClk"), e);
        return OnError::ResumeNext;
    });

    QString result;
    Int16 inToken(0);
    vb::DateValue dtValue;
    guard([&] { dtValue = vb::Now(); });
    guard([&] { sTimeKey = vb::Format(dtValue, u"h:n"); });
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
            guard([&] { closing = Int32(vb::InStr(position.value(), sFormat, QStringLiteral("%"))); });
            qint32 length = 0;
            const bool cut = guard([&] {
                length = (closing - position).value();
                if (length < 0) // what cutting with a negative length raises
                    vb::raiseError(vb::InvalidArgument);
            });
            if (cut) {
                const QStringView token = QStringView(sFormat).mid(at, length);
                if (guard.test([&] { return tokenShowsSeconds(token); }))
                    guard([&] { sTimeKey = vb::Format(dtValue, u"h:n:s"); });
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
