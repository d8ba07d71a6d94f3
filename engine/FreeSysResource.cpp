// The "R" tokens: the free share of the system, GDI or User resource pool, as the resource
// meter reports it. The meter is bound at the first token that selects a pool; without it the
// tokens read 0 and nothing is said, since the library is optional.

#include "engine/Reports.h"
#include "engine/ResourceMeter.h"
#include "engine/ZPModule.h"

#include "runtime/Guard.h"
#include "runtime/Integer.h"
#include "runtime/Text.h"

namespace zp {

QString defaultResourceMeterLibrary()
{
#if defined(_WIN32)
    return QStringLiteral("rsrc32.dll");
#else
    return QStringLiteral("librsrc32.so");
#endif
}

const char* resourceMeterEntry()
{
    // stdcall decoration: underscore, name, "@" and the bytes of the one 32-bit argument.
#if defined(_WIN32)
    return "_MyGetFreeSystemResources32@4";
#else
    return "MyGetFreeSystemResources32";
#endif
}

vb::LibraryFunction& resourceMeter()
{
    static vb::LibraryFunction meter(defaultResourceMeterLibrary(), resourceMeterEntry());
    return meter;
}

void setResourceMeterLibrary(const QString& library)
{
    resourceMeter().reset(library.isEmpty() ? defaultResourceMeterLibrary() : library);
}

QString FreeSysResource(const QString& sToken)
{
    vb::Guard guard([](const vb::Error& e) {
        // A missing meter is expected: the token reads 0, without a report.
        if (e.number == vb::FileNotFound)
            return vb::OnError::Exit;
        engineReport(QStringLiteral("FreeSysResource"), e);
        return vb::OnError::ResumeNext;
    });
    // Compared in this order; the first match gives the meter's argument.
    static constexpr struct {
        char16_t code[3];
        std::int32_t kind;
    } kPools[] = {{u"RS", 0}, {u"RG", 1}, {u"RU", 2}};

    qint32 value = 0;
    QString code;
    guard([&] { code = vb::Left(sToken, 2); });
    for (const auto& pool : kPools) {
        if (code == QStringView(pool.code)) {
            guard([&] { value = resourceMeter().function<ResourceMeterFunction>()(pool.kind); });
            break;
        }
    }
    if (guard.exited())
        return QStringLiteral("0");
    // As it comes: no range check, a negative value keeps its sign.
    return vb::CStr(qint64(value));
}

} // namespace zp
