#pragma once
// The three controls of the settings window that behave unlike Qt's stock widgets, so that
// the window acts as its users expect of a classic form:
//   - Frame: a group box whose access key moves the focus to the next control in tab order
//     (QGroupBox would return to whichever child last had the focus);
//   - FormatBox: a single-line box. It keeps its selection when it loses the focus, so the
//     token buttons replace what was selected even after the user went to a list or a check
//     box, and it takes only the first line of text pasted or dropped into it, as a classic
//     single-line box does (Qt's line edit would keep the line breaks, and OK would store
//     them). Text it is given, such as a stored format, stays as it is;
//   - SampleBox: a read-only line edit with a click signal, drawn in the selection colours
//     (the nearest a Qt theme has to an active caption bar).
// Depends on Qt Widgets only.

#include <QClipboard>
#include <QGroupBox>
#include <QLineEdit>

#include <QPointer>

namespace zp {

class Frame final : public QGroupBox {
    Q_OBJECT
public:
    using QGroupBox::QGroupBox;
    // Where the access key sends the focus.
    void setNextInTabOrder(QWidget* next) { next_ = next; }

protected:
    bool event(QEvent* event) override;

private:
    QPointer<QWidget> next_;
};

class FormatBox final : public QLineEdit {
    Q_OBJECT
public:
    FormatBox(const QString& text, QWidget* parent = nullptr);

protected:
    void focusOutEvent(QFocusEvent* event) override;
    // Every way text comes in from outside: the paste keys, the context menu's paste, the
    // middle button's paste of the selection, a drop.
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool pasteFirstLine(QClipboard::Mode mode);
};

class SampleBox final : public QLineEdit {
    Q_OBJECT
public:
    explicit SampleBox(QWidget* parent = nullptr);

signals:
    // A left-button press and release both on the box.
    void clicked();

protected:
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void useCaptionColours();
    bool pressed_ = false;
};

} // namespace zp
