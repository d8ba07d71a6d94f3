// TamoZP as a process: one window per user, however the instances are started.

#include "support/TestEnv.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <memory>

namespace {

std::unique_ptr<QProcess> startTamoZP()
{
    auto p = std::make_unique<QProcess>();
    p->setProgram(QStringLiteral(TAMOZP_PATH));
    p->setProcessEnvironment(QProcessEnvironment::systemEnvironment()); // TestEnv's folders
    p->start();
    return p;
}

// Waits until one of the processes has ended; that one, or null after the timeout.
QProcess* firstToEnd(const std::vector<QProcess*>& all, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        for (QProcess* p : all)
            if (p->state() == QProcess::NotRunning)
                return p;
        QTest::qWait(5);
    }
    return nullptr;
}

} // namespace

class ProcessTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCOMPARE(qgetenv("QT_QPA_PLATFORM"), QByteArray("offscreen")); }

    // Started in the same instant, exactly one keeps its window; the other ends at once,
    // silently, with status 0. Several rounds, since a race shows only sometimes.
    void twoAtOnceGiveOneWindow()
    {
        for (int round = 0; round < 5; ++round) {
            TestEnv env;
            const auto a = startTamoZP();
            const auto b = startTamoZP();
            QVERIFY(a->waitForStarted());
            QVERIFY(b->waitForStarted());
            QProcess* ended = firstToEnd({a.get(), b.get()}, 30000);
            QVERIFY2(ended, "neither instance ended");
            QProcess* running = ended == a.get() ? b.get() : a.get();
            QCOMPARE(ended->exitStatus(), QProcess::NormalExit);
            QCOMPARE(ended->exitCode(), 0);
            QCOMPARE(ended->readAllStandardOutput(), QByteArray());
            QCOMPARE(ended->readAllStandardError(), QByteArray());
            QTest::qWait(300);
            QCOMPARE(running->state(), QProcess::Running);
            running->kill();
            QVERIFY(running->waitForFinished());
        }
    }

    // The lock lives in the user's runtime folder: another folder, another user's window.
    void otherRuntimeFolderRunsItsOwn()
    {
        TestEnv first;
        const auto a = startTamoZP();
        QVERIFY(a->waitForStarted());
        TestEnv second;
        const auto b = startTamoZP();
        QVERIFY(b->waitForStarted());
        QVERIFY(!firstToEnd({a.get(), b.get()}, 1500));
        a->kill();
        QVERIFY(a->waitForFinished());
        b->kill();
        QVERIFY(b->waitForFinished());
    }
};

QTEST_GUILESS_MAIN(ProcessTest)
#include "tamozp_process_qtest.moc"
