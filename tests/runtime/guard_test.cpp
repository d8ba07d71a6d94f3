#include "runtime/Guard.h"
#include "runtime/Integer.h"
#include "runtime/Program.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QList>

using namespace vb;

namespace {

QList<std::pair<QString, qint32>> g_reports;

void recordReport(const QString& place, const Error& e) { g_reports.append({place, e.number}); }

} // namespace

TEST(Guard, ReportsAndResumesKeepingTheOldValue)
{
    g_reports.clear();
    Guard guard(QStringLiteral("Place"), recordReport);
    qint32 a = 7;
    qint32 b = 0;
    EXPECT_FALSE(guard([&] { a = CInt(QStringLiteral("x")).value(); }));
    EXPECT_TRUE(guard([&] { b = 3; }));
    EXPECT_EQ(a, 7) << "the failed assignment never happened";
    EXPECT_EQ(b, 3) << "the next step still ran";
    EXPECT_EQ(guard.error().number, TypeMismatch);
    // A test that fails takes the guarded branch.
    EXPECT_TRUE(guard.test([] { return Int16(32767) + Int16(1) == Int16(0); }));
    EXPECT_FALSE(guard.test([] { return false; }));
    ASSERT_EQ(g_reports.size(), 2);
    EXPECT_EQ(g_reports[0], std::pair(QStringLiteral("Place"), qint32(TypeMismatch)));
    EXPECT_EQ(g_reports[1].second, Overflow);
}

TEST(Guard, HandlerMayExitSkippingLaterSteps)
{
    int steps = 0;
    Guard guard([](const Error& e) { return e.number == InvalidArgument ? OnError::Exit : OnError::ResumeNext; });
    guard([&] { ++steps; raiseError(Overflow); });
    EXPECT_FALSE(guard.exited());
    guard([&] { ++steps; raiseError(InvalidArgument); });
    EXPECT_TRUE(guard.exited());
    EXPECT_FALSE(guard([&] { ++steps; }));
    EXPECT_FALSE(guard.test([] { return true; }));
    EXPECT_EQ(steps, 2);
    EXPECT_EQ(guard.failures(), 2);
}

TEST(Program, RuntimeErrorMessageAndVersion)
{
    EXPECT_EQ(runtimeErrorMessage({6, errorDescription(6)}),
              QStringLiteral("実行時エラー '6':\r\n\r\nオーバーフローしました。"));
    EXPECT_EQ(programVersionText(), u"1.33.2485");
}

TEST(ProgramDeathTest, UnhandledErrorEndsWithStatusOneAndTheRuntimeMessage)
{
    setProgramTitle(QStringLiteral("tamo-test"));
    EXPECT_EXIT(runMain([]() -> int { raiseError(Overflow); }), testing::ExitedWithCode(1),
                "tamo-test\n実行時エラー '6':\n\nオーバーフローしました。");
}
