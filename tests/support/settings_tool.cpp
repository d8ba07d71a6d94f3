// The store's second process: save|get|delete APP SECTION KEY [HEXVALUE], or hammer ... COUNT
// (stores KEY-1 ... KEY-COUNT, reading each back; exits 3 on a difference). Values are hex
// UTF-16 units, so a lone surrogate makes the trip. An error prints "error <number> <text>".

#include "SettingsTool.h"

#include "runtime/Error.h"
#include "runtime/SettingsStore.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 5)
        return 64;
    const QByteArray op = argv[1];
    const QString app = QString::fromUtf8(argv[2]);
    const QString section = QString::fromUtf8(argv[3]);
    const QString key = QString::fromUtf8(argv[4]);
    try {
        if (op == "save" && argc == 6) {
            vb::SettingsStore::fromEnvironment().SaveSetting(app, section, key, fromHexUnits(argv[5]));
        } else if (op == "get" && (argc == 5 || argc == 6)) {
            const QString def = argc == 6 ? fromHexUnits(argv[5]) : QString();
            std::printf("%s\n", toHexUnits(vb::SettingsStore::fromEnvironment().GetSetting(app, section, key, def)).constData());
        } else if (op == "delete" && argc == 5) {
            vb::SettingsStore::fromEnvironment().DeleteSetting(app, section, key);
        } else if (op == "hammer" && argc == 6) {
            for (int i = 1; i <= std::atoi(argv[5]); ++i) {
                const QString value = key + u'-' + QString::number(i);
                vb::SettingsStore::fromEnvironment().SaveSetting(app, section, key, value);
                if (vb::SettingsStore::fromEnvironment().GetSetting(app, section, key) != value) {
                    std::printf("lost %d\n", i);
                    return 3;
                }
            }
        } else {
            return 64;
        }
    } catch (const vb::Error& e) {
        std::printf("error %d %s\n", e.number, e.description.toUtf8().constData());
        return 2;
    }
    return 0;
}
