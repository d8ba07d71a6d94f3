#include "deskclock/CalendarPopup.h"

#include "engine/ZPModule.h"
#include "gui/GuiSupport.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>

namespace deskclock {

namespace {

constexpr qreal kPoints = 11;

// Months counted from year 0: the first and last that the engine's calendar takes.
constexpr int kFirstMonth = 100 * 12;
constexpr int kLastMonth = 9999 * 12 + 11;

// A notched wheel turns 120 eighths of a degree a step; a touchpad sends smaller turns.
constexpr int kWheelStep = 120;

// Invalid for the days calendars do not set apart, which keep the palette's text colour.
QColor colourOf(int weekday, bool holiday)
{
    switch (zp::dayTone(weekday, holiday)) {
    case zp::DayTone::Red:
        return QColor(QString::fromUtf16(zp::kRedRgb));
    case zp::DayTone::Blue:
        return QColor(QString::fromUtf16(zp::kBlueRgb));
    case zp::DayTone::Plain:
        break;
    }
    return {};
}

// A palette that sets only the text colour, or, for an invalid colour, none: the label then
// follows the popup's palette, a dark one included.
QPalette textColour(const QColor& colour)
{
    QPalette palette;
    if (colour.isValid())
        palette.setColor(QPalette::WindowText, colour);
    return palette;
}

} // namespace

QPoint popupPlace(const QRect& anchor, const QSize& size, const QRect& screen)
{
    int x = anchor.left() + anchor.width() / 2 - size.width() / 2;
    int y = anchor.bottom() + 1;
    if (y + size.height() - 1 > screen.bottom())
        y = anchor.top() - size.height();
    // The screen's left and top edges win over its right and bottom ones.
    x = std::max(screen.left(), std::min(x, screen.right() + 1 - size.width()));
    y = std::max(screen.top(), std::min(y, screen.bottom() + 1 - size.height()));
    return {x, y};
}

QString dayLine(int month, const zp::CalendarDay& day)
{
    QString line = QStringLiteral("%1月%2日(%3)").arg(month).arg(day.day).arg(zp::weekdayKanji(day.weekday));
    if (!day.holiday.isEmpty())
        line += u' ' + day.holiday;
    return line + QStringLiteral(" 月齢 %1 %2").arg(day.moonAge).arg(zp::MoonGraphic(day.moonAge));
}

CalendarPopup::CalendarPopup(std::function<vb::DateValue()> now, QWidget* parent)
    : QFrame(parent, Qt::Popup), now_(std::move(now))
{
    setObjectName(QStringLiteral("CalendarPopup"));
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setFont(gui::windowFont(kPoints));
    const QFontMetrics metrics(font());
    const QSize cell(metrics.horizontalAdvance(zp::weekdayKanji(1)) * 2 + 4, metrics.height() * 3 / 2);

    QFont arrowFont = font();
    arrowFont.setPointSizeF(kPoints * 1.5); // the arrows are thin: a larger target
    const auto arrow = [&](const char* name, const QString& text, const QString& accessible) {
        auto* button = new QToolButton(this);
        button->setFont(arrowFont);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(text);
        button->setAccessibleName(accessible);
        button->setToolTip(accessible);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus); // the arrow keys belong to the popup
        return button;
    };
    btnPrevious = arrow("btnPrevious", QStringLiteral("‹"), QStringLiteral("前の月"));
    btnNext = arrow("btnNext", QStringLiteral("›"), QStringLiteral("次の月"));
    connect(btnPrevious, &QToolButton::clicked, this, &CalendarPopup::previousMonth);
    connect(btnNext, &QToolButton::clicked, this, &CalendarPopup::nextMonth);
    lblTitle = new QLabel(this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setAlignment(Qt::AlignCenter);
    QFont bold = font();
    bold.setBold(true);
    lblTitle->setFont(bold);
    auto* header = new QHBoxLayout;
    header->addWidget(btnPrevious);
    header->addWidget(lblTitle, 1);
    header->addWidget(btnNext);

    auto* grid = new QGridLayout;
    grid->setSpacing(0);
    for (int column = 0; column < 7; ++column) {
        auto* weekday = new QLabel(QString(zp::weekdayKanji(column + 1)), this);
        weekday->setAlignment(Qt::AlignCenter);
        weekday->setFixedSize(cell);
        weekday->setPalette(textColour(colourOf(column + 1, false)));
        grid->addWidget(weekday, 0, column);
    }
    for (int i = 0; i < kCells; ++i) {
        auto* label = new QLabel(this);
        label->setAlignment(Qt::AlignCenter);
        label->setFixedSize(cell);
        label->installEventFilter(this);
        grid->addWidget(label, 1 + i / 7, i % 7);
        cells_[size_t(i)] = label;
    }

    lblLine = new QLabel(this);
    lblLine->setObjectName(QStringLiteral("lblLine"));
    lblLine->setFixedWidth(cell.width() * 7); // a long holiday's line is elided, not widened
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize); // follows a wider title
    layout->setContentsMargins(6, 4, 6, 6);
    layout->setSpacing(4);
    layout->addLayout(header);
    layout->addLayout(grid);
    layout->addWidget(lblLine);
}

void CalendarPopup::open(const QRect& anchor, const QScreen* screen)
{
    anchor_ = anchor;
    setAttribute(Qt::WA_NoMouseReplay, false);
    hoveredCell_ = -1;
    wheelAngle_ = 0;
    showToday();
    adjustSize();
    const QRect area = screen ? screen->availableGeometry() : QRect(anchor.bottomLeft(), size());
    // A popup has no frame of its own; move() would leave room for one on some platforms.
    setGeometry(QRect(popupPlace(anchor, size(), area), size()));
    show();
}

void CalendarPopup::showMonth(int year, int month)
{
    // Counted in months, so that month 0 or 13 steps into the year before or after.
    const int index = std::clamp(year * 12 + month - 1, kFirstMonth, kLastMonth);
    calendar_ = zp::monthCalendar(index / 12, index % 12 + 1);
    fill();
}

QString CalendarPopup::title() const
{
    return lblTitle->text();
}

QLabel* CalendarPopup::dayCell(int day) const
{
    if (day < 1 || day > int(calendar_.days.size()))
        return nullptr;
    return cells_[size_t(firstCell_ + day - 1)];
}

bool CalendarPopup::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
        const auto cell = int(std::find(cells_.begin(), cells_.end(), watched) - cells_.begin());
        if (event->type() == QEvent::Enter)
            hoveredCell_ = cell;
        else if (hoveredCell_ == cell)
            hoveredCell_ = -1;
        showLine();
    }
    return QFrame::eventFilter(watched, event);
}

void CalendarPopup::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_PageUp:
        previousMonth();
        break;
    case Qt::Key_Right:
    case Qt::Key_PageDown:
        nextMonth();
        break;
    case Qt::Key_Home:
        showToday();
        break;
    default:
        QFrame::keyPressEvent(event); // Esc closes a popup
    }
}

void CalendarPopup::wheelEvent(QWheelEvent* event)
{
    wheelAngle_ += event->angleDelta().y();
    const int steps = wheelAngle_ / kWheelStep;
    wheelAngle_ -= steps * kWheelStep;
    if (steps != 0)
        stepMonths(-steps); // turned away from the user: back in time, as a page scrolls up
    event->accept();
}

void CalendarPopup::mousePressEvent(QMouseEvent* event)
{
    // A press on the clock closes the popup and goes no further: where Qt passes the press that
    // closes a popup on to the window under it (Qt 6.4 under X11 does not), the clock's release
    // would open the popup again at once.
    if (!rect().contains(event->position().toPoint()) && anchor_.contains(event->globalPosition().toPoint()))
        setAttribute(Qt::WA_NoMouseReplay);
    QFrame::mousePressEvent(event);
}

void CalendarPopup::previousMonth()
{
    stepMonths(-1);
}

void CalendarPopup::nextMonth()
{
    stepMonths(+1);
}

// Today's month, with today read again: a popup left open passes midnight.
void CalendarPopup::showToday()
{
    today_ = now_();
    calendar_ = zp::monthCalendar(today_.year(), today_.month());
    todayLine_ = dayLine(today_.month(), calendar_.days[size_t(today_.day() - 1)]);
    fill();
}

void CalendarPopup::stepMonths(int months)
{
    showMonth(calendar_.year, calendar_.month + months);
}

void CalendarPopup::fill()
{
    lblTitle->setText(calendar_.title);
    firstCell_ = calendar_.days.front().weekday - 1;
    const bool todaysMonth = calendar_.year == today_.year() && calendar_.month == today_.month();
    for (int i = 0; i < kCells; ++i) {
        QLabel* cell = cells_[size_t(i)];
        const int day = dayOf(i);
        const zp::CalendarDay* shown = day ? &calendar_.days[size_t(day - 1)] : nullptr;
        cell->setText(shown ? QString::number(day) : QString());
        cell->setToolTip(shown ? shown->holiday : QString());
        cell->setPalette(textColour(shown ? colourOf(shown->weekday, !shown->holiday.isEmpty()) : QColor()));
        // A frame in the day's own colour and bold figures mark today in light and dark palettes.
        const bool today = todaysMonth && day == today_.day();
        QFont font;
        if (today)
            font.setBold(true);
        cell->setFont(font);
        cell->setFrameShape(today ? QFrame::Box : QFrame::NoFrame);
    }
    const int index = calendar_.year * 12 + calendar_.month - 1;
    btnPrevious->setEnabled(index > kFirstMonth);
    btnNext->setEnabled(index < kLastMonth);
    showLine();
}

void CalendarPopup::showLine()
{
    const int day = hoveredCell_ < 0 ? 0 : dayOf(hoveredCell_);
    line_ = day ? dayLine(calendar_.month, calendar_.days[size_t(day - 1)]) : todayLine_;
    lblLine->setText(lblLine->fontMetrics().elidedText(line_, Qt::ElideRight, lblLine->maximumWidth()));
}

// The day of the month shown in a cell, 0 for a cell before day 1 or after the last.
int CalendarPopup::dayOf(int cell) const
{
    const int day = cell - firstCell_ + 1;
    return day >= 1 && day <= int(calendar_.days.size()) ? day : 0;
}

} // namespace deskclock
