#pragma once
// TamoClock's month calendar: a popup under the clock window (above it when the screen has no
// room below) that shows one month as the engine computes it (zp::monthCalendar): the title
// with the era year, the days in a week grid, Sundays and national holidays in red, Saturdays
// in blue, a holiday's name as its day's tooltip, today in bold in a frame, and one line under
// the grid for the day under the pointer (today's when it is on none): its date, its holiday
// and the moon's age with its glyph. ‹ and ›, Left and Right, PageUp and PageDown and the
// wheel change the month, Home goes back to today's; Esc or a click elsewhere closes it.
//
// It reads the date from the clock its window was given, never a global one. What each cell
// shows is decided when the month changes and kept in the cells, so a test reads it there.
// Depends on the engine, the runtime, gui/'s font and Qt Widgets.

#include "engine/MonthCalendar.h"
#include "runtime/DateValue.h"

#include <QFrame>
#include <QRect>

#include <array>
#include <functional>

class QLabel;
class QScreen;
class QToolButton;

namespace deskclock {

// Where a popup of `size` goes for a window whose frame is `anchor`, on a screen whose free
// area is `screen`: centred under the window, or above it when there is no room below, and
// pulled in from the screen's sides (and its top and bottom when neither fits).
QPoint popupPlace(const QRect& anchor, const QSize& size, const QRect& screen);

// The line under the grid for one day of `month`: "12月18日(金) 月齢 8 |)", with the
// holiday's name after the weekday.
QString dayLine(int month, const zp::CalendarDay& day);

class CalendarPopup final : public QFrame {
    Q_OBJECT
public:
    explicit CalendarPopup(std::function<vb::DateValue()> now, QWidget* parent = nullptr);

    // Shows today's month under the window whose frame is `anchor`, on `screen`.
    void open(const QRect& anchor, const QScreen* screen);
    // Shows a month, kept within 100-01 and 9999-12.
    void showMonth(int year, int month);

    int year() const { return calendar_.year; }
    int month() const { return calendar_.month; }
    QString title() const;
    // The whole line under the grid (the label elides what does not fit).
    const QString& line() const { return line_; }
    // The cell that shows `day` of the month shown; null when the month has no such day.
    QLabel* dayCell(int day) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private slots:
    void previousMonth();
    void nextMonth();
    void showToday();

private:
    static constexpr int kCells = 6 * 7; // a month touches at most six weeks

    void stepMonths(int months);
    void fill();
    void showLine();
    int dayOf(int cell) const;

    std::function<vb::DateValue()> now_;
    vb::DateValue today_;
    zp::MonthCalendar calendar_;
    QString todayLine_;
    QString line_;
    QRect anchor_; // the clock window's frame, whose click closes the popup and only that
    int firstCell_ = 0;   // the cell of day 1, [0, 6]
    int hoveredCell_ = -1; // the cell under the pointer, -1 when none
    int wheelAngle_ = 0;   // eighths of a degree not yet turned into months
    QToolButton* btnPrevious = nullptr;
    QToolButton* btnNext = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblLine = nullptr;
    std::array<QLabel*, kCells> cells_{};
};

} // namespace deskclock
