// One TamoZP per user and runtime folder: the real program started twice at once, and the lock
// file behind it.

#include "editor/InstanceLock.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<QProcess> startTamoZP()
{
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(QProcessEnvironment::systemEnvironment()); // TestEnv's folders
    p->start(QStringLiteral(TAMOZP_PATH), {});
    return p;
}

} // namespace

class ProcessTest : public QObject {
    Q_OBJECT

private slots:
    // Started in the same instant, exactly one keeps its window; the other ends at once,
    // silently, with status 0. One started in another runtime folder runs beside it. Several
    // rounds, since a race shows only sometimes.
    void oneWindowPerRuntimeFolder()
    {
        QCOMPARE(qgetenv("QT_QPA_PLATFORM"), QByteArray("offscreen"));
        for (int round = 0; round < 5; ++round) {
            TestEnv env;
            const auto a = startTamoZP();
            const auto b = startTamoZP();
            TestEnv other; // started with the two, so that it would lose as soon as they do
            const auto c = startTamoZP();
            QVERIFY(a->waitForStarted() && b->waitForStarted() && c->waitForStarted());
            QElapsedTimer timer;
            timer.start();
            while (a->state() == QProcess::Running && b->state() == QProcess::Running && timer.elapsed() < 30000)
                QTest::qWait(5);
            QProcess* ended = a->state() == QProcess::NotRunning ? a.get() : b.get();
            QProcess* running = ended == a.get() ? b.get() : a.get();
            QCOMPARE(ended->state(), QProcess::NotRunning);
            QCOMPARE(ended->exitStatus(), QProcess::NormalExit);
            QCOMPARE(ended->exitCode(), 0);
            QCOMPARE(ended->readAll() + ended->readAllStandardError(), QByteArray());
            QTest::qWait(300);
            QCOMPARE(running->state(), QProcess::Running);
            QCOMPARE(c->state(), QProcess::Running);
            for (QProcess* p : {running, c.get()}) {
                p->kill();
                QVERIFY(p->waitForFinished());
            }
        }
    }

    // What the race cannot show: asking again keeps the lock, the holder going away frees it,
    // and a lock file that cannot be used never keeps the user out.
    void lockFile()
    {
        TestEnv env;
        const QString path = env.runtimeDir() + u"/TamoZP.lock"_s;
        auto first = std::make_unique<zp::InstanceLock>(path);
        QVERIFY(!first->anotherInstanceRunning() && !first->anotherInstanceRunning());
        zp::InstanceLock second(path);
        QVERIFY(second.anotherInstanceRunning());
        first.reset();
        QVERIFY(!second.anotherInstanceRunning());
        for (const QString& unusable : {QString(), env.runtimeDir(), env.runtimeDir() + u"/no/TamoZP.lock"_s})
            QVERIFY2(!zp::InstanceLock(unusable).anotherInstanceRunning(), qPrintable(unusable));
    }
};

QTEST_GUILESS_MAIN(ProcessTest)
#include "tamozp_process_qtest.moc"
