// A second process for the store's cross-process tests: runs one store operation from the
// command line and prints the result. Values travel as hexadecimal UTF-16 units, so that
// texts the command line cannot carry (a lone surrogate) still make the trip.
//   settings_tool save   APP SECTION KEY HEXVALUE
//   settings_tool get    APP SECTION KEY [HEXDEFAULT]   prints the value in hex
//   settings_tool delete APP SECTION KEY
//   settings_tool hammer APP SECTION KEY COUNT           stores KEY-1 ... KEY-COUNT, reading
//                                                        each back
// A store error prints "error <number> <description>" and exits with 2; a value read back
// that differs from the one stored exits with 3.

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
            vb::SaveSetting(app, section, key, fromHexUnits(argv[5]));
        } else if (op == "get" && (argc == 5 || argc == 6)) {
            const QString def = argc == 6 ? fromHexUnits(argv[5]) : QString();
            std::printf("%s\n", toHexUnits(vb::GetSetting(app, section, key, def)).constData());
        } else if (op == "delete" && argc == 5) {
            vb::DeleteSetting(app, section, key);
        } else if (op == "hammer" && argc == 6) {
            for (int i = 1; i <= std::atoi(argv[5]); ++i) {
                const QString value = key + u'-' + QString::number(i);
                vb::SaveSetting(app, section, key, value);
                if (vb::GetSetting(app, section, key) != value) {
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
