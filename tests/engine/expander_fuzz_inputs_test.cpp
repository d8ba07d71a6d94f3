// Replays the fuzz target's seeds and kept findings (fuzz/seeds, fuzz/regressions) through the
// expander built as the programs build it, checking the fuzz target's properties.

#include "fuzz/ExpanderProperties.h"

#include "runtime/Clock.h"

#include "support/FakeMessageBox.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

TEST(ExpanderFuzzInputs, KeepTheirProperties)
{
    FakeMessageBox boxes;
    vb::setFixedNow(fuzz::kInstant);
    int replayed = 0;
    for (const char* folder : {"seeds", "regressions"}) {
        const QDir dir(QStringLiteral(TAMO_FUZZ_DIR "/") + QLatin1StringView(folder));
        ASSERT_TRUE(dir.exists()) << folder;
        for (const QString& name : dir.entryList(QDir::Files)) {
            QFile file(dir.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
            const QByteArray input = file.readAll();
            const QString format = fuzz::formatFrom(reinterpret_cast<const std::uint8_t*>(input.constData()),
                                                    static_cast<std::size_t>(input.size()));
            const char* broken = fuzz::brokenProperty(format);
            EXPECT_EQ(broken, nullptr) << folder << '/' << name.toStdString() << ": " << broken;
            ++replayed;
        }
    }
    vb::setFixedNow(std::nullopt);
    EXPECT_GE(replayed, 6) << "the seeds are there";
}
