#include "engine/Reports.h"

#include "runtime/Integer.h"
#include "runtime/MessageBox.h"
#include "runtime/NumberFormat.h"

namespace zp {

namespace {

// The project names no people: reports go to the team's support address.
QString contactLine()
{
    return QStringLiteral("\"Tamo Zephyr Panel サポート\" <support@tamo-zp.example.org> まで連絡してください。");
}

QString reportText(const QString& placeLine, const vb::Error& error)
{
    QString text = QStringLiteral("エラー番号:") + vb::CStr(qint64(error.number));
    text += QStringLiteral("\r\n場所:") + placeLine;
    text += QStringLiteral("\r\n") + error.description;
    text += QStringLiteral("\r\n上記の説明と、エラーの発生したときの簡単な状況を書いて、");
    text += QStringLiteral("\r\n") + contactLine();
    return text;
}

} // namespace

QString reportTitle()
{
    return QStringLiteral("エラー - TamoZP");
}

QString engineReportText(const QString& sPlace, const vb::Error& error, const vb::Version& version)
{
    const QString place = sPlace + QStringLiteral("-ZPModule") + vb::CStr(qint64(version.major))
        + vb::FormatNumber(version.minor, u"\\.00") + vb::FormatNumber(version.revision, u"\\.0000");
    return reportText(place, error);
}

QString windowReportText(const QString& sPlace, const vb::Error& error, const vb::Version& version)
{
    // Major and minor run together without a dot: 1.33 reads "133".
    const QString place = sPlace + QStringLiteral(" - TamoZP") + vb::CStr(qint64(version.major))
        + vb::CStr(qint64(version.minor));
    return reportText(place, error);
}

void engineReport(const QString& sPlace, const vb::Error& error)
{
    vb::MsgBox(engineReportText(sPlace, error), kReportStyle, reportTitle());
}

void windowReport(const QString& sPlace, const vb::Error& error)
{
    vb::MsgBox(windowReportText(sPlace, error), kReportStyle, reportTitle());
}

} // namespace zp
