// The settings window, driven through its real widgets on the offscreen platform. Each test
// opens a window in fresh settings and runtime folders, answers its boxes from a script and
// watches the program "end" through the window's end hook.

#include "editor/Tokens.h"
#include "editor/ZPSettings.h"
#include "editor/frmMain.h"
#include "gui/GuiSupport.h"
#include "runtime/Clock.h"
#include "runtime/RuntimeFolder.h"
#include "runtime/SettingsStore.h"
#include "runtime/WindowMessage.h"
#include "support/FakeMessageBox.h"
#include "support/TestEnv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <cerrno>
#include <memory>
#include <optional>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace zp;

namespace {

const QString kApp = QString::fromUtf16(kAppName);
const QString kAbsent = QStringLiteral("<absent>");
const QString kMalformedPrompt =
    QStringLiteral("フォーマット指定に誤った部分があります。正しく指定しなおしてください。");
const QString kDisablePrompt = QStringLiteral("TamoZP設定を無効にします。よろしいですか。");
const QString kReportTitle = QStringLiteral("エラー - TamoZP");

QString storedFlag()
{
    return vb::GetSetting(kApp, QString::fromUtf16(kSectionPlugIn), QString::fromUtf16(kKeyEnable), kAbsent);
}
QString storedFormat()
{
    return vb::GetSetting(kApp, QString::fromUtf16(kSectionMain), QString::fromUtf16(kKeyFormat), kAbsent);
}
void storeFormat(const QString& format)
{
    vb::SaveSetting(kApp, QString::fromUtf16(kSectionMain), QString::fromUtf16(kKeyFormat), format);
}
void storeRestartRecv(const QString& handle)
{
    vb::SaveSetting(kApp, QString::fromUtf16(kSectionPlugIn), QString::fromUtf16(kKeyRestartRecv), handle);
}

// A host's receiver: a datagram socket bound where the restart request posts to.
class HostSocket {
public:
    explicit HostSocket(qint32 handle)
    {
        path_ = vb::windowSocketPath(vb::runtimeFolder(), handle);
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path_);
        qstrncpy(addr.sun_path, name.constData(), sizeof addr.sun_path);
        bound_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~HostSocket()
    {
        if (fd_ >= 0)
            ::close(fd_);
        QFile::remove(path_);
    }
    bool bound() const { return bound_; }
    // Every datagram waiting, decoded (nullopt for one that is not a message).
    QList<std::optional<vb::WindowMessage>> received()
    {
        QList<std::optional<vb::WindowMessage>> out;
        char buf[64];
        ssize_t n;
        while ((n = ::recv(fd_, buf, sizeof buf, 0)) >= 0)
            out.append(vb::decodeWindowMessage(QByteArray(buf, int(n))));
        return out;
    }

private:
    QString path_;
    int fd_ = -1;
    bool bound_ = false;
};

// The place and number an error report names, from its first two lines.
struct Report {
    qint32 number = -1;
    QString place;
};
QList<Report> reportsIn(const QList<ShownBox>& boxes)
{
    QList<Report> out;
    for (const ShownBox& box : boxes) {
        if (box.title != kReportTitle)
            continue;
        const QStringList lines = box.prompt.split(QStringLiteral("\r\n"));
        Report r;
        if (lines.size() == 5 && lines[0].startsWith(u"エラー番号:") && lines[1].startsWith(u"場所:")) {
            r.number = lines[0].mid(6).toInt();
            r.place = lines[1].mid(3);
        }
        out.append(r);
    }
    return out;
}
// The window report's place line for a window place ("frmMain!SetZP - TamoZP133").
QString windowPlace(const QString& place)
{
    const vb::Version v = vb::programVersion();
    return place + QStringLiteral(" - TamoZP") + QString::number(v.major) + QString::number(v.minor);
}

// One run of the program: its settings, its boxes, and the window once loaded.
struct Session {
    TestEnv env;
    FakeMessageBox boxes;
    std::optional<int> ended;
    std::unique_ptr<frmMain> window;

    // Loads the window as the program does, and shows it unless loading ended the program.
    bool open(std::function<bool()> anotherInstance = [] { return false; })
    {
        WindowHooks hooks;
        hooks.anotherInstanceRunning = std::move(anotherInstance);
        hooks.end = [this](int status) { ended = status; };
        window = std::make_unique<frmMain>(std::move(hooks));
        if (ended)
            return true;
        window->show();
        return QTest::qWaitForWindowActive(window.get());
    }

    template <class T = QWidget>
    T* get(const QString& name) const
    {
        return window->findChild<T*>(name);
    }
    QLineEdit* txtSet() const { return get<QLineEdit>(QStringLiteral("txtSet")); }
    QLineEdit* txtSample() const { return get<QLineEdit>(QStringLiteral("txtSample")); }
    QComboBox* cboHour() const { return get<QComboBox>(QStringLiteral("cboHour")); }
    QComboBox* cboSet() const { return get<QComboBox>(QStringLiteral("cboSet")); }
    QCheckBox* chkSec() const { return get<QCheckBox>(QStringLiteral("chkSec")); }
    QCheckBox* chkDisable() const { return get<QCheckBox>(QStringLiteral("chkDisable")); }
    QPushButton* cmdSet(int i) const { return get<QPushButton>(QStringLiteral("cmdSet_") + QString::number(i)); }
    QPushButton* cmdMain(int i) const { return get<QPushButton>(QStringLiteral("cmdMain_") + QString::number(i)); }

    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }
    void type(const QString& format)
    {
        txtSet()->selectAll();
        QTest::keyClicks(txtSet(), format);
        if (format.isEmpty())
            QTest::keyClick(txtSet(), Qt::Key_Delete);
    }
    bool isOpen() const { return window->isVisible() && !ended; }
    bool nothingStored() const { return !QFile::exists(vb::settingsFilePath(kApp)); }
};

// Pixels of a twips length at the offscreen screen's 96 dots per inch: 15 twips a pixel.
int px(int twips)
{
    return qRound(twips / 15.0);
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        vb::setProgramTitle(QStringLiteral("TamoZP"));
        QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInchX(), 96.0);
    }
    void init() { vb::setFixedNow(vb::DateValue(2001, 3, 29, 14, 5, 9)); }
    void cleanup()
    {
        vb::setFixedNow(std::nullopt);
        vb::injectSettingsFault(0, 0);
    }

    // ---- Loading ---------------------------------------------------------------------------

    void loadState_data()
    {
        QTest::addColumn<std::optional<QString>>("stored");
        QTest::newRow("nothing stored: empty") << std::optional<QString>();
        QTest::newRow("empty format") << std::optional<QString>(QString());
        QTest::newRow("a format") << std::optional<QString>(QStringLiteral("%yyyy%/%m%/%d% %h:nn%"));
        QTest::newRow("spaces kept") << std::optional<QString>(QStringLiteral("  %h:nn%  "));
        QTest::newRow("outside the BMP") << std::optional<QString>(QStringLiteral("🌕%o%"));
        QTest::newRow("malformed, loaded as it is") << std::optional<QString>(QStringLiteral("%h:nn"));
    }
    void loadState()
    {
        QFETCH(std::optional<QString>, stored);
        Session s;
        if (stored)
            storeFormat(*stored);
        // A stored flag changes nothing at load: the boxes always start unchecked.
        vb::SaveSetting(kApp, QString::fromUtf16(kSectionPlugIn), QString::fromUtf16(kKeyEnable),
                        QStringLiteral("0"));
        QVERIFY(s.open());
        const QString text = stored.value_or(QString());
        QCOMPARE(s.txtSet()->text(), text);
        QCOMPARE(s.txtSet()->selectionStart(), text.isEmpty() ? -1 : 0);
        QCOMPARE(s.txtSet()->selectedText(), text);
        QCOMPARE(QApplication::focusWidget(), s.txtSet());
        QCOMPARE(s.cboHour()->currentIndex(), 1);
        QCOMPARE(s.cboHour()->currentText(), QStringLiteral("24時間制"));
        QStringList hours;
        for (int i = 0; i < s.cboHour()->count(); ++i)
            hours.append(s.cboHour()->itemText(i));
        QCOMPARE(hours.join(u' '), QStringLiteral("12時間制 24時間制 25 26 27 28 29"));
        QCOMPARE(s.cboSet()->currentIndex(), 0);
        QCOMPARE(s.cboSet()->currentText(), QStringLiteral("月齢"));
        QVERIFY(!s.chkSec()->isChecked());
        QVERIFY(!s.chkDisable()->isChecked());
        QCOMPARE(s.txtSample()->text(), QStringLiteral("for the Test ... Click here !"));
        QVERIFY(s.boxes.shown.isEmpty());
        QVERIFY(!s.ended);
    }

    void secondInstanceEndsSilently()
    {
        Session s;
        storeFormat(QStringLiteral("%h:nn%"));
        QVERIFY(s.open([] { return true; }));
        QCOMPARE(s.ended, std::optional<int>(0));
        QVERIFY(!s.window->isVisible());
        QVERIFY(s.boxes.shown.isEmpty());
        QCOMPARE(s.cboSet()->count(), 0); // loading stopped at its first step
        QCOMPARE(s.txtSet()->text(), QString());
    }

    // The load handler's guard: a failing test is reported and its branch is taken.
    void loadGuardReportsAndGoesOn()
    {
        Session s;
        QVERIFY(s.open([]() -> bool { vb::raiseError(vb::PermissionDenied); }));
        const QList<Report> reports = reportsIn(s.boxes.shown);
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports[0].number, qint32(vb::PermissionDenied));
        QCOMPARE(reports[0].place, windowPlace(QStringLiteral("frmMain_Load")));
        QCOMPARE(s.boxes.shown[0].style, 4112);
        QCOMPARE(s.ended, std::optional<int>(0));
    }

    // GetZPF reports an unreadable store itself; loading goes on with an empty format.
    void unreadableStoreLoadsEmpty()
    {
        Session s;
        const QString file = vb::settingsFilePath(kApp);
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QFile junk(file);
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("[Main]\nZPFormat=%h:nn%\nthis line is no setting\n");
        junk.close();
        QVERIFY(s.open());
        const QList<Report> reports = reportsIn(s.boxes.shown);
        QCOMPARE(reports.size(), 1);
        QVERIFY2(reports[0].place.startsWith(u"GetZPF-ZPModule"), qPrintable(reports[0].place));
        QCOMPARE(s.txtSet()->text(), QString());
        QCOMPARE(s.cboSet()->count(), 12);
        QCOMPARE(QApplication::focusWidget(), s.txtSet());
    }

    // ---- Layout ----------------------------------------------------------------------------

    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<int>("tab");
        auto row = [](const char* name, const char* cls, const char* in, const QString& caption,
                      int l, int t, int w, int h, int tab) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(cls)
                                << QString::fromLatin1(in) << caption << QRect(l, t, w, h) << tab;
        };
        row("fraSet", "zp::Frame", "frmMain", QStringLiteral("フォーマット設定(&F)"), 120, 120, 5532, 2772, 0);
        row("lblSet", "QLabel", "fraSet", QStringLiteral("書式指定(&S)"), 240, 360, 1212, 372, 1);
        row("txtSet", "zp::FormatBox", "fraSet", QString(), 1440, 360, 3852, 372, 2);
        row("txtSample", "zp::SampleBox", "fraSet", QStringLiteral("for the Test ... Click here !"), 240, 900, 5052, 372, 3);
        row("cmdSet_0", "QPushButton", "fraSet", QStringLiteral("時刻"), 240, 1440, 792, 432, 4);
        row("cboHour", "QComboBox", "frmMain", QStringLiteral("24時間制"), 360, 2100, 1392, 288, 5);
        row("chkSec", "QCheckBox", "fraSet", QStringLiteral("秒"), 240, 2340, 732, 312, 6);
        row("cmdSet_1", "QPushButton", "fraSet", QStringLiteral("日"), 1080, 1440, 672, 432, 7);
        row("cmdSet_2", "QPushButton", "fraSet", QStringLiteral("月"), 1800, 1440, 672, 432, 8);
        row("cmdSet_3", "QPushButton", "fraSet", QStringLiteral("Month"), 1800, 1920, 672, 432, 9);
        row("cmdSet_4", "QPushButton", "fraSet", QStringLiteral("曜日"), 2520, 1440, 672, 432, 10);
        row("cmdSet_5", "QPushButton", "fraSet", QStringLiteral("Day"), 2520, 1920, 672, 432, 11);
        row("cboSet", "QComboBox", "frmMain", QStringLiteral("月齢"), 3420, 1620, 1932, 288, 12);
        row("cmdSet_6", "QPushButton", "fraSet", QStringLiteral("他"), 4560, 1920, 672, 432, 13);
        row("cmdMain_0", "QPushButton", "frmMain", QStringLiteral("OK"), 1800, 3480, 1212, 432, 14);
        row("cmdMain_1", "QPushButton", "frmMain", QStringLiteral("Cancel"), 3120, 3480, 1212, 432, 15);
        row("cmdMain_2", "QPushButton", "frmMain", QStringLiteral("&About"), 4500, 3480, 1152, 432, 16);
        row("chkDisable", "QCheckBox", "frmMain", QStringLiteral("TamoZP設定の無効化(&D)"), 120, 3000, 2412, 312, 17);
    }
    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QString, className);
        QFETCH(QString, container);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        QFETCH(int, tab);
        Session s;
        QVERIFY(s.open());
        QWidget* w = s.get(name);
        QVERIFY(w);
        QCOMPARE(QString::fromLatin1(w->metaObject()->className()), className);
        QCOMPARE(w->parentWidget()->objectName(), container);
        QRect expected(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height()));
        // A check box is as wide as the table says, or as its caption needs if that is more.
        if (qobject_cast<QCheckBox*>(w))
            expected.setWidth(qMax(expected.width(), w->sizeHint().width()));
        QCOMPARE(w->geometry(), expected);
        QCOMPARE(w->property("TabIndex").toInt(), tab);
        QString shown;
        if (auto* frame = qobject_cast<QGroupBox*>(w))
            shown = frame->title();
        else if (auto* label = qobject_cast<QLabel*>(w))
            shown = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            shown = button->text();
        else if (auto* edit = qobject_cast<QLineEdit*>(w))
            shown = edit->text();
        else if (auto* list = qobject_cast<QComboBox*>(w))
            shown = list->currentText();
        QCOMPARE(shown, caption);
        QVERIFY(w->isVisible());
        // Every caption is shown whole.
        if (qobject_cast<QCheckBox*>(w) || qobject_cast<QLabel*>(w))
            QVERIFY(w->sizeHint().width() <= w->width());
        else if (qobject_cast<QPushButton*>(w))
            QVERIFY(QFontMetrics(w->font()).horizontalAdvance(QString(shown).remove(u'&')) < w->width());
    }

    void window()
    {
        Session s;
        QVERIFY(s.open());
        QCOMPARE(s.window->objectName(), QStringLiteral("frmMain"));
        QCOMPARE(s.window->windowTitle(), QStringLiteral("TamoZP"));
        QCOMPARE(s.window->size(), QSize(px(5772), px(4044)));
        QCOMPARE(s.window->size(), QSize(385, 270));
        // The two lists are the window's own, drawn over the frame.
        for (QComboBox* list : {s.cboHour(), s.cboSet()}) {
            QCOMPARE(list->parentWidget(), s.window.get());
            QVERIFY(!list->isEditable());
            const QPoint centre = list->geometry().center();
            QWidget* top = s.window->childAt(centre);
            QVERIFY2(top == list || list->isAncestorOf(top), qPrintable(list->objectName()));
        }
        const QObjectList& stack = s.window->children();
        QVERIFY(stack.indexOf(s.cboHour()) > stack.indexOf(s.get(QStringLiteral("fraSet"))));
        QVERIFY(stack.indexOf(s.cboSet()) > stack.indexOf(s.get(QStringLiteral("fraSet"))));
        // Fonts: 9.6 points everywhere but txtSet, 10.2 there; a face that has Japanese.
        QCOMPARE(s.window->font().pointSizeF(), 9.6);
        QCOMPARE(s.cmdSet(0)->font().pointSizeF(), 9.6);
        QCOMPARE(s.txtSet()->font().pointSizeF(), 10.2);
        QCOMPARE(s.txtSet()->font().family(), QString::fromUtf16(gui::kWindowFontFamily));
        QCOMPARE(s.txtSet()->font().weight(), QFont::Normal);
        const QString face = QFontInfo(s.txtSet()->font()).family();
        QVERIFY2(face == u"IPAPGothic" || face == u"Noto Sans CJK JP", qPrintable(face));
        // The sample box refuses typing and wears the selection colours.
        QVERIFY(s.txtSample()->isReadOnly());
        QVERIFY(!s.txtSet()->isReadOnly());
        const QPalette app = QApplication::palette(s.txtSample());
        QCOMPARE(s.txtSample()->palette().color(QPalette::Base), app.color(QPalette::Active, QPalette::Highlight));
        QCOMPARE(s.txtSample()->palette().color(QPalette::Text), app.color(QPalette::Active, QPalette::HighlightedText));
        QVERIFY(s.txtSample()->palette().color(QPalette::Base) != s.txtSet()->palette().color(QPalette::Base));
        // Default and cancel buttons.
        QVERIFY(s.cmdMain(0)->isDefault());
        QVERIFY(!s.cmdMain(1)->isDefault());
    }

    void tabOrder()
    {
        Session s;
        QVERIFY(s.open());
        const QStringList forward = {
            QStringLiteral("txtSample"), QStringLiteral("cmdSet_0"), QStringLiteral("cboHour"),
            QStringLiteral("chkSec"), QStringLiteral("cmdSet_1"), QStringLiteral("cmdSet_2"),
            QStringLiteral("cmdSet_3"), QStringLiteral("cmdSet_4"), QStringLiteral("cmdSet_5"),
            QStringLiteral("cboSet"), QStringLiteral("cmdSet_6"), QStringLiteral("cmdMain_0"),
            QStringLiteral("cmdMain_1"), QStringLiteral("cmdMain_2"), QStringLiteral("chkDisable"),
            QStringLiteral("txtSet"),
        };
        QStringList seen;
        for (int i = 0; i < forward.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen.append(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(seen, forward);
        QStringList back;
        for (int i = 0; i < forward.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
            back.append(QApplication::focusWidget()->objectName());
        }
        QStringList expectedBack;
        for (int i = int(forward.size()) - 2; i >= 0; --i)
            expectedBack.append(forward[i]);
        expectedBack.append(QStringLiteral("txtSet"));
        QCOMPARE(back, expectedBack);
        // Every control carries its tab index, 0 to 17 without gaps.
        QList<int> tabs;
        for (QWidget* w : s.window->findChildren<QWidget*>())
            if (w->property("TabIndex").isValid())
                tabs.append(w->property("TabIndex").toInt());
        std::sort(tabs.begin(), tabs.end());
        QList<int> all(18);
        std::iota(all.begin(), all.end(), 0);
        QCOMPARE(tabs, all);
    }

    void accessKeys()
    {
        Session s;
        storeFormat(QStringLiteral("%d%"));
        QVERIFY(s.open());
        // The label's and the frame's keys go to the next control in tab order, txtSet.
        for (Qt::Key key : {Qt::Key_S, Qt::Key_F}) {
            s.cmdMain(1)->setFocus();
            QTest::keyClick(s.window.get(), key, Qt::AltModifier);
            QCOMPARE(QApplication::focusWidget(), s.txtSet());
        }
        QTest::keyClick(s.window.get(), Qt::Key_D, Qt::AltModifier);
        QTRY_VERIFY(s.chkDisable()->isChecked());
        QTest::keyClick(s.window.get(), Qt::Key_A, Qt::AltModifier);
        QTRY_COMPARE(s.boxes.shown.size(), 1);
        QCOMPARE(s.boxes.shown[0].title, QStringLiteral("TamoZP のバージョン情報"));
        QVERIFY(s.isOpen());
        QCOMPARE(storedFlag(), kAbsent);
    }

    // ---- Token insertion -------------------------------------------------------------------

    void tokenButtons_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("hourStyle");
        QTest::addColumn<bool>("seconds");
        QTest::addColumn<QString>("inserted");
        const char* const hourNames[] = {"12時間制", "24時間制", "25", "26", "27", "28", "29"};
        const char* const timeTokens[] = {"tt_h:nn", "h:nn", "kk1h:nn", "kk2h:nn", "kk3h:nn", "kk4h:nn", "kk5h:nn"};
        const char* const fixed[] = {nullptr, "d", "m", "mmm", "aaa", "ddd", "o"};
        for (int index = 0; index <= 6; ++index) {
            for (int hour = 0; hour < 7; ++hour) {
                for (bool seconds : {false, true}) {
                    QString token = index == 0 ? QString::fromLatin1(timeTokens[hour]) : QString::fromLatin1(fixed[index]);
                    if (index == 0 && seconds)
                        token += QStringLiteral(":ss");
                    QTest::addRow("cmdSet(%d) %s%s", index, hourNames[hour], seconds ? " 秒" : "")
                        << index << hour << seconds << QString(u'%' + token + u'%');
                }
            }
        }
    }
    void tokenButtons()
    {
        QFETCH(int, index);
        QFETCH(int, hourStyle);
        QFETCH(bool, seconds);
        QFETCH(QString, inserted);
        Session s;
        storeFormat(QStringLiteral("replaced"));
        QVERIFY(s.open());
        s.cboHour()->setCurrentIndex(hourStyle);
        if (seconds)
            s.click(s.chkSec());
        QCOMPARE(s.chkSec()->isChecked(), seconds);
        // The whole stored format is still selected: the first token replaces it.
        s.click(s.cmdSet(index));
        QCOMPARE(s.txtSet()->text(), inserted);
        QCOMPARE(s.txtSet()->cursorPosition(), inserted.size());
        QCOMPARE(QApplication::focusWidget(), s.txtSet());
        QVERIFY(s.boxes.shown.isEmpty());
        QVERIFY(s.isOpen());
    }

    void paletteItemsAndCodes_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("code");
        const char* const rows[][2] = {
            {"月齢", "o"},      {"月の形", "rr"},   {"AM/PM", "AM/PM"},   {"A/P", "A/P"},
            {"第x週", "ww"},    {"西暦4桁", "yyyy"}, {"西暦2桁", "yy"},    {"年号", "ggg"},
            {"年号頭文字", "g"}, {"Sysリソース", "RS"}, {"GDIリソース", "RG"}, {"Userリソース", "RU"},
        };
        for (int i = 0; i < 12; ++i)
            QTest::addRow("%d %s", i, rows[i][0]) << i << QString::fromUtf8(rows[i][0]) << QString::fromUtf8(rows[i][1]);
    }
    void paletteItemsAndCodes()
    {
        QFETCH(int, index);
        QFETCH(QString, item);
        QFETCH(QString, code);
        Session s;
        QVERIFY(s.open());
        QCOMPARE(s.cboSet()->count(), 12);
        QCOMPARE(s.cboSet()->itemText(index), item);
        s.cboSet()->setCurrentIndex(index);
        s.click(s.cmdSet(6));
        QCOMPARE(s.txtSet()->text(), QString(u'%' + code + u'%'));
    }

    // Tokens go in at the caret, replace a selection, and a selection survives a visit to
    // another control.
    void insertionPlace()
    {
        Session s;
        storeFormat(QStringLiteral("ABC"));
        QVERIFY(s.open());
        s.txtSet()->setCursorPosition(1);
        s.click(s.cmdSet(1));
        QCOMPARE(s.txtSet()->text(), QStringLiteral("A%d%BC"));
        QCOMPARE(s.txtSet()->cursorPosition(), 4);
        s.click(s.cmdSet(2));
        QCOMPARE(s.txtSet()->text(), QStringLiteral("A%d%%m%BC"));
        s.txtSet()->setSelection(7, 2);            // "BC", then off to the hour list
        QTest::keyClick(s.txtSet(), Qt::Key_Tab);  // txtSample
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);  // cmdSet_0
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);  // cboHour
        QCOMPARE(QApplication::focusWidget(), s.cboHour());
        QTest::keyClick(s.cboHour(), Qt::Key_Up);  // 12時間制
        QCOMPARE(s.cboHour()->currentIndex(), 0);
        s.click(s.cmdSet(0));
        QCOMPARE(s.txtSet()->text(), QStringLiteral("A%d%%m%%tt_h:nn%"));
    }

    // Without a palette item the token button fails, and nothing in the window catches it:
    // the program's top-level catcher ends the program.
    void tokenButtonHasNoGuard()
    {
        Session s;
        QVERIFY(s.open());
        s.cboSet()->setCurrentIndex(-1);
        qint32 number = 0;
        try {
            s.cmdSet(6)->click();
        } catch (const vb::Error& e) {
            number = e.number;
        }
        QCOMPARE(number, 9); // subscript out of range
        QVERIFY(s.boxes.shown.isEmpty());
    }

    // ---- Sample ----------------------------------------------------------------------------

    void sample_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("shown");
        QTest::newRow("time with seconds") << QStringLiteral("%h:nn:ss%") << QStringLiteral("14:05:09");
        QTest::newRow("date") << QStringLiteral("%yyyy%/%m%/%d%") << QStringLiteral("2001/3/29");
        QTest::newRow("12-hour") << QStringLiteral("%tt_h:nn%") << QStringLiteral("2:05");
        QTest::newRow("literal and escape") << QStringLiteral("a\\%b") << QStringLiteral("a%b");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("unclosed token") << QStringLiteral("%h:nn") << QStringLiteral("ZPErr");
        QTest::newRow("unclosed after text") << QStringLiteral("at %h:nn% and %d") << QStringLiteral("ZPErr");
    }
    void sample()
    {
        QFETCH(QString, format);
        QFETCH(QString, shown);
        Session s;
        QVERIFY(s.open());
        s.type(format);
        QCOMPARE(s.txtSet()->text(), format);
        s.click(s.txtSample());
        QCOMPARE(s.txtSample()->text(), shown);
        // Once per click: a later instant shows only after the next click.
        vb::setFixedNow(vb::DateValue(2001, 3, 29, 15, 6, 10));
        QTest::qWait(10);
        QCOMPARE(s.txtSample()->text(), shown);
        QVERIFY(s.boxes.shown.isEmpty());
        QVERIFY(s.isOpen());
        QVERIFY(s.nothingStored());
    }

    void sampleNeedsAClick()
    {
        Session s;
        QVERIFY(s.open());
        s.type(QStringLiteral("%h:nn%"));
        QTest::mousePress(s.txtSample(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(s.txtSample(), Qt::LeftButton, {}, QPoint(5000, 5)); // let go outside
        QCOMPARE(s.txtSample()->text(), QStringLiteral("for the Test ... Click here !"));
        QTest::mouseClick(s.txtSample(), Qt::MiddleButton);
        QCOMPARE(s.txtSample()->text(), QStringLiteral("for the Test ... Click here !"));
        QTest::keyClicks(s.txtSample(), QStringLiteral("x"));
        QCOMPARE(s.txtSample()->text(), QStringLiteral("for the Test ... Click here !"));
        s.click(s.txtSample());
        QCOMPARE(s.txtSample()->text(), QStringLiteral("14:05"));
    }

    // ---- OK, Cancel, About -----------------------------------------------------------------

    void okMalformedStaysOpen()
    {
        Session s;
        QVERIFY(s.open());
        s.type(QStringLiteral("%h:nn"));
        s.chkDisable()->setChecked(true);
        s.click(s.cmdMain(0));
        QCOMPARE(s.boxes.shown.size(), 1);
        QCOMPARE(s.boxes.shown[0].prompt, kMalformedPrompt);
        QCOMPARE(s.boxes.shown[0].style, 0);
        QCOMPARE(s.boxes.shown[0].title, QStringLiteral("TamoZP"));
        QVERIFY(s.nothingStored());
        QVERIFY(s.isOpen());
        QCOMPARE(s.txtSet()->text(), QStringLiteral("%h:nn"));
    }

    void okStores_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("disable");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("flag");
        QTest::newRow("a format") << QStringLiteral("%h:nn%") << false << 0 << QStringLiteral("1");
        QTest::newRow("empty: flag 0") << QString() << false << 0 << QStringLiteral("0");
        QTest::newRow("spaces: flag 0, kept") << QStringLiteral("   ") << false << 0 << QStringLiteral("0");
        QTest::newRow("spaces around") << QStringLiteral(" %d% ") << false << 0 << QStringLiteral("1");
        QTest::newRow("disable, Yes") << QStringLiteral("%h:nn%") << true << int(vb::vbYes) << QStringLiteral("0");
        QTest::newRow("disable, No") << QStringLiteral("%h:nn%") << true << int(vb::vbNo) << QStringLiteral("1");
        QTest::newRow("disable empty, No") << QString() << true << int(vb::vbNo) << QStringLiteral("0");
    }
    void okStores()
    {
        QFETCH(QString, format);
        QFETCH(bool, disable);
        QFETCH(int, answer);
        QFETCH(QString, flag);
        Session s;
        storeFormat(QStringLiteral("old"));
        storeRestartRecv(QStringLiteral("4242"));
        HostSocket host(4242);
        QVERIFY(host.bound());
        QVERIFY(s.open());
        s.type(format);
        if (disable)
            s.click(s.chkDisable());
        if (answer)
            s.boxes.answer({answer});
        s.click(s.cmdMain(0));
        QCOMPARE(storedFlag(), flag);
        QCOMPARE(storedFormat(), format);
        if (disable) {
            QCOMPARE(s.boxes.shown.size(), 1);
            QCOMPARE(s.boxes.shown[0].prompt, kDisablePrompt);
            QCOMPARE(s.boxes.shown[0].style, 260);
            QCOMPARE(s.boxes.shown[0].title, QStringLiteral("TamoZP"));
        } else {
            QVERIFY(s.boxes.shown.isEmpty());
        }
        const auto messages = host.received();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0], std::optional(vb::WindowMessage{0x0203, 0, 0}));
        QCOMPARE(s.ended, std::optional<int>(0));
        QVERIFY(!s.window->isVisible());
    }

    void leavingStoresNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel clicked") << QStringLiteral("cancel");
        QTest::newRow("Esc in txtSet") << QStringLiteral("esc txtSet");
        QTest::newRow("Esc on chkSec") << QStringLiteral("esc chkSec");
        QTest::newRow("Esc on cboSet") << QStringLiteral("esc cboSet");
        QTest::newRow("Esc on OK") << QStringLiteral("esc cmdMain_0");
        QTest::newRow("Enter on Cancel") << QStringLiteral("enter cmdMain_1");
        QTest::newRow("window closed") << QStringLiteral("close");
    }
    void leavingStoresNothing()
    {
        QFETCH(QString, how);
        Session s;
        storeRestartRecv(QStringLiteral("4242"));
        HostSocket host(4242);
        QVERIFY(s.open());
        s.type(QStringLiteral("%h:nn%"));
        s.chkDisable()->setChecked(true);
        const QByteArray before = [] {
            QFile f(vb::settingsFilePath(kApp));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        if (how == u"cancel") {
            s.click(s.cmdMain(1));
        } else if (how == u"close") {
            QVERIFY(s.window->close());
        } else {
            QWidget* w = s.get(how.section(u' ', 1));
            w->setFocus();
            QTest::keyClick(w, how.startsWith(u"esc") ? Qt::Key_Escape : Qt::Key_Return);
        }
        QCOMPARE(s.ended, std::optional<int>(0));
        QVERIFY(!s.window->isVisible());
        QVERIFY(s.boxes.shown.isEmpty());
        QCOMPARE(storedFormat(), kAbsent);
        QCOMPARE(storedFlag(), kAbsent);
        QFile f(vb::settingsFilePath(kApp));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        QVERIFY(host.received().isEmpty());
    }

    // Enter clicks the focused button, or else the default button OK.
    void enterKey_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("txtSet: OK") << QStringLiteral("txtSet") << QStringLiteral("stored");
        QTest::newRow("txtSample: OK") << QStringLiteral("txtSample") << QStringLiteral("stored");
        QTest::newRow("chkSec: OK") << QStringLiteral("chkSec") << QStringLiteral("stored");
        QTest::newRow("cboHour: OK") << QStringLiteral("cboHour") << QStringLiteral("stored");
        QTest::newRow("OK itself") << QStringLiteral("cmdMain_0") << QStringLiteral("stored");
        QTest::newRow("keypad Enter") << QStringLiteral("txtSet keypad") << QStringLiteral("stored");
        QTest::newRow("About") << QStringLiteral("cmdMain_2") << QStringLiteral("about");
        QTest::newRow("token button") << QStringLiteral("cmdSet_1") << QStringLiteral("token");
    }
    void enterKey()
    {
        QFETCH(QString, focus);
        QFETCH(QString, outcome);
        Session s;
        QVERIFY(s.open());
        s.type(QStringLiteral("%d%"));
        QWidget* w = s.get(focus.section(u' ', 0, 0));
        w->setFocus();
        QCOMPARE(QApplication::focusWidget(), w);
        if (focus.endsWith(u"keypad"))
            QTest::keyClick(w, Qt::Key_Enter, Qt::KeypadModifier);
        else
            QTest::keyClick(w, Qt::Key_Return);
        if (outcome == u"stored") {
            QCOMPARE(storedFormat(), QStringLiteral("%d%"));
            QCOMPARE(storedFlag(), QStringLiteral("1"));
            QCOMPARE(s.ended, std::optional<int>(0));
        } else if (outcome == u"about") {
            QCOMPARE(s.boxes.shown.size(), 1);
            QCOMPARE(s.boxes.shown[0].title, QStringLiteral("TamoZP のバージョン情報"));
            QVERIFY(s.isOpen());
            QVERIFY(s.nothingStored());
        } else {
            QCOMPARE(s.txtSet()->text(), QStringLiteral("%d%%d%"));
            QVERIFY(s.isOpen());
            QVERIFY(s.nothingStored());
        }
    }

    void about()
    {
        Session s;
        QVERIFY(s.open());
        s.click(s.cmdMain(2));
        QCOMPARE(s.boxes.shown.size(), 1);
        QCOMPARE(s.boxes.shown[0].prompt, aboutText());
        QVERIFY(s.boxes.shown[0].prompt.startsWith(
            u"Tamo Zephyr Panel 1.33.2485\r\nPlug-in Component for Tamo\r\n\r\n"));
        QCOMPARE(s.boxes.shown[0].prompt.count(u"\r\n"), 3);
        QVERIFY(!s.boxes.shown[0].prompt.endsWith(u"\r\n"));
        QCOMPARE(s.boxes.shown[0].style, 4160);
        QCOMPARE(s.boxes.shown[0].title, QStringLiteral("TamoZP のバージョン情報"));
        QVERIFY(s.isOpen());
        QVERIFY(s.nothingStored());
    }

    void aboutVersionFormats_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QString>("firstLine");
        QTest::newRow("this build") << 1 << 33 << 2485 << QStringLiteral("Tamo Zephyr Panel 1.33.2485");
        QTest::newRow("short minor and revision") << 1 << 3 << 7 << QStringLiteral("Tamo Zephyr Panel 1.03.0007");
        QTest::newRow("zeros") << 0 << 0 << 0 << QStringLiteral("Tamo Zephyr Panel 0.00.0000");
        QTest::newRow("wide numbers") << 12 << 345 << 67890 << QStringLiteral("Tamo Zephyr Panel 12.345.67890");
    }
    void aboutVersionFormats()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, revision);
        QFETCH(QString, firstLine);
        QCOMPARE(aboutText({major, minor, revision}).section(QStringLiteral("\r\n"), 0, 0), firstLine);
    }

    // ---- Failures --------------------------------------------------------------------------

    // A folder where the settings file belongs: both values fail, both are reported, and the
    // window stays open with the text so the user can retry.
    void storeUnwritableKeepsWindowOpen()
    {
        Session s;
        storeRestartRecv(QStringLiteral("4242"));
        HostSocket host(4242);
        QVERIFY(s.open());
        s.type(QStringLiteral("%h:nn%"));
        s.chkDisable()->setChecked(true);
        const QString file = vb::settingsFilePath(kApp);
        QVERIFY(QFile::remove(file));
        QVERIFY(QDir().mkpath(file));
        s.click(s.cmdMain(0));
        const QList<Report> reports = reportsIn(s.boxes.shown);
        QCOMPARE(s.boxes.shown.size(), 2); // no disabling question
        QCOMPARE(reports.size(), 2);
        for (const Report& r : reports)
            QCOMPARE(r.place, windowPlace(QStringLiteral("frmMain!SetZP")));
        QCOMPARE(s.boxes.shown[0].style, 4112);
        QVERIFY(s.isOpen());
        QCOMPARE(s.txtSet()->text(), QStringLiteral("%h:nn%"));
        QVERIFY(host.received().isEmpty());
        // Once the store works again, OK goes through.
        QVERIFY(QDir(file).removeRecursively());
        storeRestartRecv(QStringLiteral("4242"));
        s.boxes.answer({vb::vbNo});
        s.click(s.cmdMain(0));
        QCOMPARE(storedFormat(), QStringLiteral("%h:nn%"));
        QCOMPARE(host.received().size(), 1);
        QCOMPARE(s.ended, std::optional<int>(0));
    }

    // Disabling fails after both values were stored: the report names the OK handler, the
    // restart is not requested and the window stays open.
    void disableFailureKeepsWindowOpen()
    {
        Session s;
        storeRestartRecv(QStringLiteral("4242"));
        HostSocket host(4242);
        QVERIFY(s.open());
        s.type(QStringLiteral("%d%"));
        s.click(s.chkDisable());
        s.boxes.answer({vb::vbYes});
        // Count the calls of storing both values, then fail the first call of the third save.
        int perSetZP = 0;
        {
            struct Text final : FormatSource {
                QString formatText() const override { return QStringLiteral("%d%"); }
            };
            vb::injectSettingsFault(0, 0);
            QVERIFY(zp::SetZP(Text()));
            perSetZP = vb::settingsFallibleCalls();
        }
        vb::injectSettingsFault(perSetZP + 1, EIO);
        s.click(s.cmdMain(0));
        QVERIFY(vb::settingsFaultFired());
        QCOMPARE(s.boxes.shown.size(), 2);
        QCOMPARE(s.boxes.shown[0].prompt, kDisablePrompt);
        const QList<Report> reports = reportsIn(s.boxes.shown);
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports[0].place, windowPlace(QStringLiteral("frmMain!cmdMain_Click")));
        QCOMPARE(storedFlag(), QStringLiteral("1"));
        QCOMPARE(storedFormat(), QStringLiteral("%d%"));
        QVERIFY(host.received().isEmpty());
        QVERIFY(s.isOpen());
    }

    // A handle that is no number: reported by the OK handler, the settings stay stored and
    // the window closes as usual.
    void restartHandleNotANumber()
    {
        Session s;
        storeRestartRecv(QStringLiteral("abc"));
        QVERIFY(s.open());
        s.type(QStringLiteral("%h:nn%"));
        s.click(s.cmdMain(0));
        const QList<Report> reports = reportsIn(s.boxes.shown);
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports[0].number, qint32(vb::TypeMismatch));
        QCOMPARE(reports[0].place, windowPlace(QStringLiteral("frmMain!cmdMain_Click")));
        QCOMPARE(s.boxes.shown[0].style, 4112);
        QCOMPARE(storedFlag(), QStringLiteral("1"));
        QCOMPARE(storedFormat(), QStringLiteral("%h:nn%"));
        QCOMPARE(s.ended, std::optional<int>(0));
        QVERIFY(!s.window->isVisible());
    }

    // Every fallible call of the OK flow made to fail in turn, until a run fails none. Each
    // run ends in one of the allowed ways and loses nothing: either the window is still open
    // with the text, or the text is stored.
    void okUnderEveryStoreFault()
    {
        int n = 1;
        for (; n < 500; ++n) {
            Session s;
            storeRestartRecv(QStringLiteral("4242"));
            HostSocket host(4242);
            QVERIFY(s.open());
            s.type(QStringLiteral("%h:nn%"));
            s.click(s.chkDisable());
            s.boxes.answer({vb::vbYes});
            vb::injectSettingsFault(n, EIO);
            s.click(s.cmdMain(0));
            const bool fired = vb::settingsFaultFired();
            vb::injectSettingsFault(0, 0);
            const QList<Report> reports = reportsIn(s.boxes.shown);
            const auto messages = host.received();
            const QByteArray row = "fault at call " + QByteArray::number(n);
            if (!fired) {
                QVERIFY2(reports.isEmpty(), row);
                QCOMPARE(storedFlag(), QStringLiteral("0"));
                QCOMPARE(storedFormat(), QStringLiteral("%h:nn%"));
                QCOMPARE(messages.size(), 1);
                QVERIFY(!s.isOpen());
                break;
            }
            QVERIFY2(reports.size() == 1, row);
            if (reports[0].place == windowPlace(QStringLiteral("frmMain!SetZP"))) {
                QVERIFY2(s.isOpen(), row);
                QCOMPARE(s.boxes.shown.size(), 1); // no question after a failed store
                QCOMPARE(s.txtSet()->text(), QStringLiteral("%h:nn%"));
                QVERIFY2(messages.isEmpty(), row);
            } else {
                QCOMPARE(reports[0].place, windowPlace(QStringLiteral("frmMain!cmdMain_Click")));
                QCOMPARE(storedFormat(), QStringLiteral("%h:nn%"));
                QVERIFY2(messages.isEmpty(), row);
                // Disabling failed: the window stays open (its flag may be either, since a
                // fault after the rename leaves the new file in place). Or reading the host's
                // handle failed: everything is stored and the window closes.
                if (!s.isOpen()) {
                    QCOMPARE(storedFlag(), QStringLiteral("0"));
                    QCOMPARE(s.ended, std::optional<int>(0));
                } else {
                    QCOMPARE(s.txtSet()->text(), QStringLiteral("%h:nn%"));
                    QCOMPARE(s.boxes.shown[0].prompt, kDisablePrompt);
                }
            }
        }
        QVERIFY2(n > 3 && n < 500, qPrintable(QString::number(n)));
    }
};

QTEST_MAIN(WindowTest)
#include "zpwindow_qtest.moc"
