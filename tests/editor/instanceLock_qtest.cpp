// The single-instance lock: one holder per lock file, released with its holder, and never a
// reason to refuse starting when the file cannot be used.

#include "editor/InstanceLock.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QtTest>

using zp::InstanceLock;

class InstanceLockTest : public QObject {
    Q_OBJECT

private slots:
    void oneHolderAtATime()
    {
        TestEnv env;
        const QString path = env.runtimeDir() + QStringLiteral("/TamoZP.lock");
        auto first = std::make_unique<InstanceLock>(path);
        QVERIFY(!first->anotherInstanceRunning());
        QVERIFY(!first->anotherInstanceRunning() && first->held()); // asking again keeps it
        InstanceLock second(path);
        QVERIFY(second.anotherInstanceRunning() && !second.held());
        first.reset();
        QVERIFY(!second.anotherInstanceRunning() && second.held());
    }

    void unusableCountsAsAlone()
    {
        TestEnv env;
        const QString folder = env.runtimeDir() + QStringLiteral("/TamoZP.lock");
        QVERIFY(QDir().mkpath(folder));
        for (const QString& path : {QString(), folder, env.runtimeDir() + QStringLiteral("/no/TamoZP.lock")}) {
            InstanceLock lock(path);
            QVERIFY2(!lock.anotherInstanceRunning() && !lock.held(), qPrintable(path));
        }
    }
};

QTEST_GUILESS_MAIN(InstanceLockTest)
#include "instanceLock_qtest.moc"
