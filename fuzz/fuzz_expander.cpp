// libFuzzer target: the format expander at a fixed instant, its reports discarded. Besides the
// sanitizers' findings, an input fails when an expansion breaks a property of
// ExpanderProperties.h.

#include "ExpanderProperties.h"

#include "engine/ResourceMeter.h"
#include "runtime/Clock.h"
#include "runtime/MessageBox.h"

#include <cstdio>
#include <cstdlib>

namespace {

class SilentBox final : public vb::MessageBoxService {
public:
    int show(const QString&, int style, const QString&) override
    {
        return (style & 7) == vb::vbYesNo ? vb::vbYes : vb::vbOK;
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static SilentBox box;
    vb::setMessageBoxService(&box);
    vb::setFixedNow(fuzz::kInstant);
    // An absolute path that does not exist: each "R" token fails to bind at once and reads 0,
    // and no meter outside the build is ever loaded.
    zp::setResourceMeterLibrary(QStringLiteral("/nonexistent/tamo-fuzz/librsrc32.so"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString format = fuzz::formatFrom(data, size);
    if (const char* broken = fuzz::brokenProperty(format)) {
        std::fprintf(stderr, "expander property broken: %s\nformat: %s\n", broken,
                     format.toUtf8().constData());
        std::abort();
    }
    return 0;
}
