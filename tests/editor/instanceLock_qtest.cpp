// The single-instance lock: one holder per lock file, released with its holder, and never a
// reason to refuse starting when the file cannot be used.

#include "editor/InstanceLock.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
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
        QVERIFY(first->held());
        QVERIFY(!first->anotherInstanceRunning()); // asking again keeps it
        InstanceLock second(path);
        QVERIFY(second.anotherInstanceRunning());
        QVERIFY(!second.held());
        QVERIFY(second.anotherInstanceRunning());
        first.reset();
        QVERIFY(!second.anotherInstanceRunning());
        QVERIFY(second.held());
        QVERIFY(QFile::exists(path));
    }

    void unusableCountsAsAlone_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("no path") << QString();
        QTest::newRow("a folder where the file belongs") << QStringLiteral("folder");
        QTest::newRow("a path under a regular file") << QStringLiteral("under file");
        QTest::newRow("a missing folder") << QStringLiteral("missing");
    }
    void unusableCountsAsAlone()
    {
        QFETCH(QString, what);
        TestEnv env;
        QString path;
        if (what == u"folder") {
            path = env.runtimeDir() + QStringLiteral("/TamoZP.lock");
            QVERIFY(QDir().mkpath(path));
        } else if (what == u"under file") {
            QFile plain(env.runtimeDir() + QStringLiteral("/plain"));
            QVERIFY(plain.open(QIODevice::WriteOnly));
            path = plain.fileName() + QStringLiteral("/TamoZP.lock");
        } else if (what == u"missing") {
            path = env.runtimeDir() + QStringLiteral("/no/such/folder/TamoZP.lock");
        }
        InstanceLock lock(path);
        QVERIFY(!lock.anotherInstanceRunning());
        QVERIFY(!lock.held());
    }
};

QTEST_GUILESS_MAIN(InstanceLockTest)
#include "instanceLock_qtest.moc"
