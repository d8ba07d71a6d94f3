#pragma once
// TamoClock's window: the clock host for desktops without a status bar. It shows what
// tamo-clock shows (the stored format when enabled, else the built-in clock) in a large font,
// one line per line of the text, and keeps it current through the host core, so TamoZP's
// restart request and any change of the settings file reach it at once. Its tooltip is today's
// date; a mark in its corner says that the last expansion reported, with the report as the
// mark's tooltip (the report itself goes once to standard error, never into a box).
//
// A right click opens its menu: TamoZP, always on top, frameless (then a left drag moves the
// window), larger and smaller text, start at login, exit. A left click that moves nothing
// emits clicked() and opens the month calendar under the window (CalendarPopup.h). Place,
// size, text size and the toggles are kept in the settings store under "TamoClock", section
// "Window", and come back on the next start, on a screen that is there.
//
// Like TamoZP's window it receives its store, boxes, clock, launcher and end from main, and
// reads no environment. Depends on deskclock's host driver and desktop ties, gui/, the engine
// and Qt Widgets.

#include "deskclock/HostDriver.h"
#include "gui/WindowServices.h"

#include <QPoint>
#include <QTimer>
#include <QWidget>

#include <memory>

class QAction;
class QLabel;
class QMenu;
class QScreen;

namespace deskclock {

class CalendarPopup;

class ClockWindow final : public QWidget {
    Q_OBJECT
public:
    struct Setup {
        // The installed message-box service, which the engine's reports go through.
        EngineReports& reports;
        // Lines for standard error: what the host and the window's own settings could not do.
        clk::HostCore::Report lines;
        // The running program's absolute path, for the autostart entry's Exec.
        QString programPath;
        // The instant stands still (vb::setFixedNow): the host arms no timer.
        bool stillClock = false;
    };

    ClockWindow(gui::WindowServices services, Setup setup, QWidget* parent = nullptr);
    ~ClockWindow() override;

    // Run once, before the window is first shown. Another TamoClock of this user ends the
    // program with status 0 and returns false. Otherwise the window takes its stored place,
    // size, text size and toggles and the text the host will show; the host starts once the
    // window is painted (or 250 ms later at the latest). A host that cannot start is explained
    // in a box and ends the program with 1.
    bool load();

    // Whether the host runs (it starts once the window is painted).
    bool hostRunning() const { return host_ != nullptr; }
    // What the window shows, and the report of the last expansion ("" when none).
    QString text() const;
    QString report() const;
    // Today's date as the tooltip shows it.
    QString dateText() const;
    // The right-click menu, built at first use.
    QMenu* contextMenu();
    qreal textPoints() const { return points_; }
    // The month calendar, built at the first click; null before.
    CalendarPopup* calendar() const { return calendar_; }

signals:
    // A left click that did not move the window.
    void clicked();

protected:
    bool event(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QString firstText() const;
    void startHost();
    void showHost();
    void applyFlags();
    void keepOnScreen(const QScreen* screen);
    void setTextPoints(qreal points);
    void stepTextSize(int direction);
    void setAutostart(bool on);
    void openSettings();
    void openCalendar();
    void restoreGeometry(const QString& stored);
    void saveGeometry();
    void store(const QString& key, const QString& value);
    void refreshMenu();

    gui::WindowServices services_;
    Setup setup_;
    // After the store it uses: stopping the host withdraws its handle from the store.
    std::unique_ptr<HostDriver> host_;
    QLabel* lblClock = nullptr;
    QLabel* lblReport = nullptr;
    QMenu* menu_ = nullptr;
    CalendarPopup* calendar_ = nullptr;
    QAction* actOnTop = nullptr;
    QAction* actFrameless = nullptr;
    QAction* actLarger = nullptr;
    QAction* actSmaller = nullptr;
    QAction* actAutostart = nullptr;

    qreal points_;
    bool onTop_ = false;
    bool frameless_ = false;
    bool loaded_ = false;
    bool hostStarted_ = false;
    QString savedGeometry_;
    QTimer saveSoon_; // a move or resize is stored once the window has come to rest
    bool pressed_ = false;
    bool dragging_ = false;
    QPoint pressAt_;  // global position of the left press
    QPoint pressPos_; // the window's position then
};

} // namespace deskclock
