#include "deskclock/ClockWindow.h"

#include "clock/ClockOptions.h"
#include "clock/ClockText.h"
#include "deskclock/CalendarPopup.h"
#include "deskclock/Desktop.h"
#include "engine/ZPModule.h"
#include "gui/GuiSupport.h"
#include "runtime/Guard.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <array>

namespace deskclock {

namespace {

const QString kApp = QStringLiteral("TamoClock");
const QString kSection = QStringLiteral("Window");
const QString kKeyGeometry = QStringLiteral("Geometry"); // "left,top,width,height" in pixels
const QString kKeyTextSize = QStringLiteral("TextSize"); // points
const QString kKeyOnTop = QStringLiteral("OnTop");       // "1" or "0"
const QString kKeyFrameless = QStringLiteral("Frameless");

const QString kDateFormat = QStringLiteral("%ggg%%e%年%m%月%d%日(%aaa%)");

// The text sizes the menu steps through, in points.
constexpr std::array<int, 17> kTextSizes{10, 12, 14, 16, 18, 20, 24, 28, 32, 36, 40, 48, 56, 64, 72, 84, 96};
constexpr int kDefaultTextSize = 24;
constexpr int kScreenMargin = 24; // from the corner of the screen, where a first start puts it
constexpr int kRestMs = 500;      // a move or resize is stored once nothing has moved for this long
constexpr int kHostStartLatestMs = 250; // the host starts by then even when nothing was painted

// A window is on a screen when this much of it, or all of it when it is smaller, shows there.
constexpr int kVisibleSide = 32;

// The screen that shows most of `window`, when it shows enough of it.
const QScreen* screenShowing(const QRect& window)
{
    const QSize needed(std::min(kVisibleSide, window.width()), std::min(kVisibleSide, window.height()));
    const QScreen* best = nullptr;
    qint64 bestArea = 0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect shown = screen->availableGeometry().intersected(window);
        const qint64 area = qint64(shown.width()) * shown.height();
        if (shown.width() >= needed.width() && shown.height() >= needed.height() && area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    return best;
}

// A CR LF in the text breaks the line once.
QString lineBreaks(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

ClockWindow::ClockWindow(gui::WindowServices services, Setup setup, QWidget* parent)
    : QWidget(parent), services_(std::move(services)), setup_(std::move(setup)), points_(kDefaultTextSize)
{
    setObjectName(QStringLiteral("ClockWindow"));
    setWindowTitle(QStringLiteral("TamoClock"));
    setAttribute(Qt::WA_AlwaysShowToolTips); // a clock on the desktop is rarely the active window
    lblClock = new QLabel(this);
    lblClock->setObjectName(QStringLiteral("lblClock"));
    lblClock->setTextFormat(Qt::PlainText);
    lblClock->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 4, 12, 4);
    layout->addWidget(lblClock);

    lblReport = new QLabel(QStringLiteral("!"), this);
    lblReport->setObjectName(QStringLiteral("lblReport"));
    QFont markFont = gui::windowFont();
    markFont.setBold(true);
    lblReport->setFont(markFont);
    QPalette red = lblReport->palette();
    red.setColor(QPalette::WindowText, QColor(0xc0, 0, 0));
    lblReport->setPalette(red);
    lblReport->hide();

    saveSoon_.setSingleShot(true);
    saveSoon_.setInterval(kRestMs);
    connect(&saveSoon_, &QTimer::timeout, this, &ClockWindow::saveGeometry);
    connect(this, &ClockWindow::clicked, this, &ClockWindow::openCalendar);
}

ClockWindow::~ClockWindow() = default;

bool ClockWindow::load()
{
    if (services_.anotherInstanceRunning()) {
        services_.end(0);
        return false;
    }
    // Settings that cannot be read leave the rest at their defaults, with one line.
    QString onTop, frameless, textSize, geometry;
    vb::Guard guard([this](const vb::Error& e) {
        setup_.lines(QStringLiteral("cannot read the window's settings: ") + e.description);
        return vb::OnError::Exit;
    });
    const std::pair<const QString*, QString*> values[] = {
        {&kKeyOnTop, &onTop}, {&kKeyFrameless, &frameless}, {&kKeyTextSize, &textSize}, {&kKeyGeometry, &geometry}};
    for (const auto& [key, value] : values)
        guard([&] { *value = services_.store.GetSetting(kApp, kSection, *key); });
    onTop_ = onTop == u"1";
    frameless_ = frameless == u"1";
    bool isNumber = false;
    const int size = textSize.toInt(&isNumber);
    if (isNumber)
        points_ = std::clamp(size, kTextSizes.front(), kTextSizes.back());
    applyFlags();
    lblClock->setFont(gui::windowFont(points_));
    lblClock->setText(firstText());
    restoreGeometry(geometry);
    loaded_ = true;
    // The host starts once the clock is on the screen (paintEvent): publishing its handle
    // writes the settings file through to the disk, which the first paint need not wait for.
    // A window that is not painted soon (not exposed) starts it anyway.
    QTimer::singleShot(kHostStartLatestMs, this, &ClockWindow::startHost);
    return true;
}

// What the host will show when it starts: the stored format when enabled, else the built-in
// clock (also when the store cannot be read: the host says so when it reads it again).
QString ClockWindow::firstText() const
{
    QString format = QString::fromUtf16(clk::kBuiltInFormat);
    vb::Guard guard([](const vb::Error&) { return vb::OnError::Exit; });
    guard([&] { format = clk::storedDisplayFormat(services_.store); });
    QString timeKey;
    return lineBreaks(zp::FromZPFToShowClk(format, timeKey));
}

void ClockWindow::startHost()
{
    if (hostStarted_)
        return;
    hostStarted_ = true;
    host_ = std::make_unique<HostDriver>(services_.store, clk::HostCore::Options{std::nullopt, setup_.stillClock, 0},
                                         setup_.reports, setup_.lines);
    if (!host_->start()) {
        vb::MsgBox(services_.boxes, QStringLiteral("時計を開始できません。\r\n") + host_->lastLine(),
                   vb::vbOKOnly | vb::vbCritical);
        host_.reset();
        loaded_ = false;
        hide();
        services_.end(1);
        return;
    }
    connect(host_.get(), &HostDriver::changed, this, &ClockWindow::showHost);
    showHost();
}

QString ClockWindow::text() const
{
    return lblClock->text();
}

QString ClockWindow::report() const
{
    return lblReport->isHidden() ? QString() : lblReport->toolTip();
}

QString ClockWindow::dateText() const
{
    QString timeKey;
    return zp::FromZPFToShowClk(kDateFormat, timeKey, services_.now);
}

QMenu* ClockWindow::contextMenu()
{
    if (menu_)
        return menu_;
    menu_ = new QMenu(this);
    const auto add = [this](const char* name, const QString& caption, bool checkable) {
        QAction* action = menu_->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        action->setCheckable(checkable);
        return action;
    };
    connect(add("actSettings", QStringLiteral("設定(&S)..."), false), &QAction::triggered, this,
            &ClockWindow::openSettings);
    menu_->addSeparator();
    actOnTop = add("actOnTop", QStringLiteral("常に手前に表示(&T)"), true);
    connect(actOnTop, &QAction::triggered, this, [this](bool on) {
        onTop_ = on;
        applyFlags();
        store(kKeyOnTop, on ? QStringLiteral("1") : QStringLiteral("0"));
    });
    actFrameless = add("actFrameless", QStringLiteral("枠なし(&F)"), true);
    connect(actFrameless, &QAction::triggered, this, [this](bool on) {
        frameless_ = on;
        applyFlags();
        store(kKeyFrameless, on ? QStringLiteral("1") : QStringLiteral("0"));
    });
    menu_->addSeparator();
    actLarger = add("actLarger", QStringLiteral("文字を大きく(&L)"), false);
    connect(actLarger, &QAction::triggered, this, [this] { stepTextSize(+1); });
    actSmaller = add("actSmaller", QStringLiteral("文字を小さく(&M)"), false);
    connect(actSmaller, &QAction::triggered, this, [this] { stepTextSize(-1); });
    menu_->addSeparator();
    actAutostart = add("actAutostart", QStringLiteral("ログイン時に起動(&A)"), true);
    connect(actAutostart, &QAction::triggered, this, &ClockWindow::setAutostart);
    menu_->addSeparator();
    connect(add("actExit", QStringLiteral("終了(&X)"), false), &QAction::triggered, this, &QWidget::close);
    connect(menu_, &QMenu::aboutToShow, this, &ClockWindow::refreshMenu);
    refreshMenu();
    return menu_;
}

bool ClockWindow::event(QEvent* event)
{
    // Built when asked for: the date's era costs a calendar that the clock itself rarely needs.
    if (event->type() == QEvent::ToolTip) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), dateText(), this);
        return true;
    }
    return QWidget::event(event);
}

void ClockWindow::contextMenuEvent(QContextMenuEvent* event)
{
    contextMenu()->popup(event->globalPos());
}

void ClockWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    pressed_ = true;
    dragging_ = false;
    pressAt_ = event->globalPosition().toPoint();
    pressPos_ = pos();
}

void ClockWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (!pressed_ || !(event->buttons() & Qt::LeftButton))
        return;
    const QPoint moved = event->globalPosition().toPoint() - pressAt_;
    if (!dragging_) {
        if (moved.manhattanLength() < QApplication::startDragDistance())
            return;
        dragging_ = true;
        // The window manager or compositor moves it when it can (on Wayland only it can).
        if (frameless_ && windowHandle() && windowHandle()->startSystemMove()) {
            pressed_ = false;
            return;
        }
    }
    if (frameless_)
        move(pressPos_ + moved);
}

void ClockWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !pressed_)
        return QWidget::mouseReleaseEvent(event);
    pressed_ = false;
    if (!dragging_)
        emit clicked();
}

void ClockWindow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (loaded_ && isVisible())
        saveSoon_.start();
}

void ClockWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    lblReport->adjustSize();
    lblReport->move(width() - lblReport->width() - 3, 1);
    if (!loaded_ || !isVisible())
        return;
    // A longer text widens the window: one at the screen's right edge grows to the left.
    if (event->size().width() > event->oldSize().width() || event->size().height() > event->oldSize().height())
        keepOnScreen(screen());
    saveSoon_.start();
}

// Moves the window wholly onto `screen` when part of it lies past an edge (its left and top
// edges win when it is larger than the screen).
void ClockWindow::keepOnScreen(const QScreen* screen)
{
    if (!screen)
        return;
    const QRect shown = screen->availableGeometry();
    const QRect frame = frameGeometry();
    QPoint shift;
    if (frame.right() > shown.right())
        shift.rx() = shown.right() - frame.right();
    if (frame.left() + shift.x() < shown.left())
        shift.rx() = shown.left() - frame.left();
    if (frame.bottom() > shown.bottom())
        shift.ry() = shown.bottom() - frame.bottom();
    if (frame.top() + shift.y() < shown.top())
        shift.ry() = shown.top() - frame.top();
    if (!shift.isNull())
        move(frame.topLeft() + shift);
}

void ClockWindow::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (loaded_ && !hostStarted_)
        QMetaObject::invokeMethod(this, &ClockWindow::startHost, Qt::QueuedConnection);
}

void ClockWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    keepOnScreen(screen()); // the frame is known now
}

void ClockWindow::closeEvent(QCloseEvent* event)
{
    saveSoon_.stop();
    if (loaded_)
        saveGeometry();
    QWidget::closeEvent(event);
}

void ClockWindow::showHost()
{
    lblClock->setText(lineBreaks(host_->text()));
    const QString& report = host_->report();
    lblReport->setToolTip(report);
    lblReport->setVisible(!report.isEmpty());
    lblReport->raise();
}

void ClockWindow::applyFlags()
{
    Qt::WindowFlags flags = Qt::Window;
    if (onTop_)
        flags |= Qt::WindowStaysOnTopHint;
    if (frameless_)
        flags |= Qt::FramelessWindowHint;
    if (flags == windowFlags())
        return;
    // New flags hide the window; it comes back where it was.
    const bool shown = isVisible();
    const QPoint at = pos();
    setWindowFlags(flags);
    if (shown) {
        move(at);
        show();
    }
}

void ClockWindow::stepTextSize(int direction)
{
    const int now = qRound(points_);
    int next = now;
    if (direction > 0) {
        const auto above = std::upper_bound(kTextSizes.begin(), kTextSizes.end(), now);
        next = above == kTextSizes.end() ? kTextSizes.back() : *above;
    } else {
        const auto notBelow = std::lower_bound(kTextSizes.begin(), kTextSizes.end(), now);
        next = notBelow == kTextSizes.begin() ? kTextSizes.front() : *(notBelow - 1);
    }
    if (next == now)
        return;
    points_ = next;
    lblClock->setFont(gui::windowFont(points_));
    adjustSize();
    store(kKeyTextSize, QString::number(next));
    refreshMenu();
}

void ClockWindow::setAutostart(bool on)
{
    const QString path = autostartPath(services_.store.configHome());
    const QString failure = on ? writeAutostart(path, setup_.programPath) : removeAutostart(path);
    if (!failure.isEmpty())
        vb::MsgBox(services_.boxes, QStringLiteral("ログイン時の起動を設定できませんでした。\r\n") + failure,
                   vb::vbOKOnly | vb::vbCritical);
    refreshMenu();
}

void ClockWindow::openSettings()
{
    if (!services_.launch(QStringLiteral("TamoZP")))
        vb::MsgBox(services_.boxes, QStringLiteral("TamoZP を起動できませんでした。"), vb::vbOKOnly | vb::vbCritical);
}

void ClockWindow::openCalendar()
{
    if (!calendar_)
        calendar_ = new CalendarPopup(services_.now, this);
    calendar_->open(frameGeometry(), screen());
}

// The stored place when some screen shows enough of it; else the top right corner of the
// primary screen (a monitor that was unplugged, a first start).
void ClockWindow::restoreGeometry(const QString& stored)
{
    savedGeometry_ = stored;
    layout()->activate();
    const QStringList parts = stored.split(u',');
    std::array<int, 4> v{};
    bool valid = parts.size() == 4;
    for (qsizetype i = 0; valid && i < 4; ++i)
        v[i] = parts[i].trimmed().toInt(&valid);
    if (valid && v[2] > 0 && v[3] > 0) {
        resize(v[2], v[3]); // never below what the text needs
        if (const QScreen* screen = screenShowing(QRect(QPoint(v[0], v[1]), size()))) {
            move(v[0], v[1]);
            keepOnScreen(screen);
            return;
        }
    } else {
        adjustSize();
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect screen = primary ? primary->availableGeometry() : QRect(0, 0, 640, 480);
    move(std::max(screen.left(), screen.right() + 1 - width() - kScreenMargin), screen.top() + kScreenMargin);
}

void ClockWindow::saveGeometry()
{
    QPoint at = pos();
    // A Wayland client is never told where its window is (pos() stays 0,0): the place stored
    // before, from an X11 session, stays as it was.
    if (QGuiApplication::platformName().startsWith(u"wayland")) {
        const QStringList before = savedGeometry_.split(u',');
        at = before.size() == 4 ? QPoint(before[0].toInt(), before[1].toInt()) : QPoint();
    }
    const QString value = QStringLiteral("%1,%2,%3,%4").arg(at.x()).arg(at.y()).arg(width()).arg(height());
    if (value == savedGeometry_)
        return;
    savedGeometry_ = value;
    store(kKeyGeometry, value);
}

void ClockWindow::store(const QString& key, const QString& value)
{
    vb::Guard guard([this](const vb::Error& e) {
        setup_.lines(QStringLiteral("cannot store the window's settings: ") + e.description);
        return vb::OnError::Exit;
    });
    guard([&] { services_.store.SaveSetting(kApp, kSection, key, value); });
}

void ClockWindow::refreshMenu()
{
    if (!menu_)
        return;
    actOnTop->setChecked(onTop_);
    actFrameless->setChecked(frameless_);
    actLarger->setEnabled(qRound(points_) < kTextSizes.back());
    actSmaller->setEnabled(qRound(points_) > kTextSizes.front());
    const QFileInfo entry(autostartPath(services_.store.configHome()));
    actAutostart->setChecked(entry.exists());
}

} // namespace deskclock
