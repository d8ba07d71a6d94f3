// The store's second process: save|get|delete APP SECTION KEY [HEXVALUE], or hammer ... COUNT
// (stores KEY-1 ... KEY-COUNT, reading each back; exits 3 on a difference). Values are hex
// UTF-16 units, so a lone surrogate makes the trip. An error prints "error <number> <text>".

#include "SettingsTool.h"

#include "runtime/Error.h"
#include "runtime/SettingsStore.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 5 || argc > 6)
        return 64;
    const QByteArray op = argv[1];
    const QString app = QString::fromUtf8(argv[2]), section = QString::fromUtf8(argv[3]), key = QString::fromUtf8(argv[4]);
    const QByteArray last = argc == 6 ? argv[5] : "";
    const vb::SettingsStore store = vb::SettingsStore::fromEnvironment();
    try {
        if (op == "save" && argc == 6)
            store.SaveSetting(app, section, key, fromHexUnits(last));
        else if (op == "get")
            std::printf("%s\n", toHexUnits(store.GetSetting(app, section, key, fromHexUnits(last))).constData());
        else if (op == "delete" && argc == 5)
            store.DeleteSetting(app, section, key);
        else if (op != "hammer" || argc != 6)
            return 64;
        for (int i = 1; op == "hammer" && i <= last.toInt(); ++i) {
            const QString value = key + u'-' + QString::number(i);
            store.SaveSetting(app, section, key, value);
            if (store.GetSetting(app, section, key) != value) {
                std::printf("lost %d\n", i);
                return 3;
            }
        }
    } catch (const vb::Error& e) {
        std::printf("error %d %s\n", e.number, e.description.toUtf8().constData());
        return 2;
    }
    return 0;
}
