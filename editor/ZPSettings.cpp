#include "editor/ZPSettings.h"

#include "engine/Reports.h"
#include "runtime/Guard.h"
#include "runtime/Integer.h"
#include "runtime/SettingsStore.h"
#include "runtime/Text.h"
#include "runtime/WindowMessage.h"

namespace zp {

namespace {

QString app() { return QString::fromUtf16(kAppName); }
QString sectionMain() { return QString::fromUtf16(kSectionMain); }
QString sectionPlugIn() { return QString::fromUtf16(kSectionPlugIn); }

} // namespace

QString GetZPF(const vb::SettingsStore& store)
{
    vb::Guard guard(QStringLiteral("GetZPF"), engineReport);
    QString sFormat = QStringLiteral("");
    guard([&] { sFormat = store.GetSetting(app(), sectionMain(), QString::fromUtf16(kKeyFormat), QStringLiteral("")); });
    return sFormat;
}

bool SetZP(const vb::SettingsStore& store, const FormatSource& source)
{
    vb::Guard guard(QStringLiteral("frmMain!SetZP"), windowReport);
    // The flag is the decimal text of a 16-bit integer: exactly "0" or "1".
    guard([&] {
        const vb::Int16 flag(vb::Trim(source.formatText()).isEmpty() ? 0 : 1);
        store.SaveSetting(app(), sectionPlugIn(), QString::fromUtf16(kKeyEnable), vb::CStr(flag));
    });
    guard([&] {
        store.SaveSetting(app(), sectionMain(), QString::fromUtf16(kKeyFormat), source.formatText());
    });
    return !guard.failed();
}

void DisableZP(const vb::SettingsStore& store)
{
    store.SaveSetting(app(), sectionPlugIn(), QString::fromUtf16(kKeyEnable), vb::CStr(vb::Int16(0)));
}

void RequestRestart(const vb::SettingsStore& store)
{
    const QString text = store.GetSetting(app(), sectionPlugIn(), QString::fromUtf16(kKeyRestartRecv),
                                        QStringLiteral("0"));
    const qint32 handle = vb::CLng(text).value();
    if (handle == 0)
        return;
    vb::PostMessage(handle, kRestartMessage, 0, 0);
}

} // namespace zp
