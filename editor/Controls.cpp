#include "editor/Controls.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <limits>

namespace zp {

namespace {

// The text up to the first CR or LF.
QString firstLine(const QString& text)
{
    const auto end = std::find_if(text.cbegin(), text.cend(), [](QChar c) { return c == u'\r' || c == u'\n'; });
    return text.left(end - text.cbegin());
}

} // namespace

bool Frame::event(QEvent* event)
{
    // The only shortcut a group box owns is the access key of its title.
    if (event->type() == QEvent::Shortcut && next_) {
        next_->setFocus(Qt::ShortcutFocusReason);
        return true;
    }
    return QGroupBox::event(event);
}

FormatBox::FormatBox(const QString& text, QWidget* parent) : QLineEdit(parent)
{
    // A line edit silently cuts its text to 32767 characters, and OK would then store the cut
    // format: the box takes the stored format whole, however long.
    setMaxLength(std::numeric_limits<int>::max());
    setText(text);
}

void FormatBox::focusOutEvent(QFocusEvent* event)
{
    const int start = selectionStart();
    const int length = selectionLength();
    const bool caretAtStart = cursorPosition() == start;
    QLineEdit::focusOutEvent(event); // deselects
    if (start >= 0 && length > 0) {
        // Keep the caret at the end it was on, so Shift+arrows go on the same way.
        if (caretAtStart)
            setSelection(start + length, -length);
        else
            setSelection(start, length);
    }
}

// Inserts the first line of what `mode` holds and returns true when it holds more than one;
// false, having done nothing, when Qt's own paste may go ahead (it keeps the paste apart from
// the typing around it for undo).
bool FormatBox::pasteFirstLine(QClipboard::Mode mode)
{
    const QString text = QGuiApplication::clipboard()->text(mode);
    const QString line = firstLine(text);
    if (line.size() == text.size())
        return false;
    insert(line);
    return true;
}

void FormatBox::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Paste) && !isReadOnly()) {
        // Ctrl+Shift+Insert pastes the selection, as in Qt's own line edit.
        const bool selection = event->key() == Qt::Key_Insert
                               && event->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier);
        if (pasteFirstLine(selection ? QClipboard::Selection : QClipboard::Clipboard)) {
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void FormatBox::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = createStandardContextMenu();
    // Qt 6.4 names none of the menu's actions: the paste action is known by Qt's own caption.
    const QString caption = QLineEdit::tr("&Paste");
    const QList<QAction*> actions = menu->actions();
    const auto paste = std::find_if(actions.cbegin(), actions.cend(), [&](const QAction* action) {
        return action->text() == caption || action->text().startsWith(caption + u'\t');
    });
    if (paste != actions.cend()) {
        (*paste)->disconnect(this);
        connect(*paste, &QAction::triggered, this, [this] {
            if (!pasteFirstLine(QClipboard::Clipboard))
                QLineEdit::paste();
        });
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void FormatBox::mouseReleaseEvent(QMouseEvent* event)
{
    // The middle button pastes the selection where the press put the caret.
    if (event->button() == Qt::MiddleButton && !isReadOnly() && QGuiApplication::clipboard()->supportsSelection()) {
        deselect();
        if (pasteFirstLine(QClipboard::Selection)) {
            event->accept();
            return;
        }
    }
    QLineEdit::mouseReleaseEvent(event);
}

void FormatBox::dropEvent(QDropEvent* event)
{
    // Text dragged within the box is its own already, and a move would lose the rest of it.
    const QString text = event->mimeData()->text();
    const QString line = firstLine(text);
    if (event->source() == this || line.size() == text.size()) {
        QLineEdit::dropEvent(event);
        return;
    }
    QMimeData firstOnly;
    firstOnly.setText(line);
    QDropEvent drop(event->position(), event->possibleActions(), &firstOnly, event->buttons(), event->modifiers());
    drop.setDropAction(event->dropAction());
    QLineEdit::dropEvent(&drop);
    event->setDropAction(drop.dropAction());
    event->setAccepted(drop.isAccepted());
}

SampleBox::SampleBox(QWidget* parent) : QLineEdit(parent)
{
    setReadOnly(true);
    useCaptionColours();
    // Only the application object hears of every new theme: see eventFilter.
    QCoreApplication::instance()->installEventFilter(this);
}

void SampleBox::showText(const QString& text)
{
    setText(text); // leaves the caret at the end, and the box scrolled to show it
    setCursorPosition(0);
}

void SampleBox::useCaptionColours()
{
    if (recolouring_)
        return; // setPalette below sends this box a PaletteChange
    recolouring_ = true;
    const QPalette app = QApplication::palette(this);
    const QColor caption = app.color(QPalette::Active, QPalette::Highlight);
    const QColor captionText = app.color(QPalette::Active, QPalette::HighlightedText);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, caption);
    pal.setColor(QPalette::Text, captionText);
    // Styles draw the selection and their focus frame in the highlight colours, which here would
    // vanish into a background of the same colour: inverted, they stand out.
    pal.setColor(QPalette::Highlight, captionText);
    pal.setColor(QPalette::HighlightedText, caption);
    setPalette(pal);
    recolouring_ = false;
}

bool SampleBox::event(QEvent* event)
{
    const bool handled = QLineEdit::event(event);
    // A new theme reaches a widget as PaletteChange, once its window has passed it on.
    switch (event->type()) {
    case QEvent::PaletteChange:
    case QEvent::ApplicationPaletteChange: // sent to the widget itself for a palette of its class
    case QEvent::StyleChange:
        useCaptionColours();
        break;
    default:
        break;
    }
    return handled;
}

bool SampleBox::eventFilter(QObject* watched, QEvent* event)
{
    // A theme that changes only the colours this box sets itself changes nothing it would
    // inherit, so no PaletteChange comes; the application is still sent ApplicationPaletteChange.
    if (watched == QCoreApplication::instance() && event->type() == QEvent::ApplicationPaletteChange)
        useCaptionColours();
    return false;
}

void SampleBox::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    if (!hasFocus())
        return;
    // The style's focus frame is a hairline on the border, hardly told from the unfocused one on
    // a box of this colour: a dotted rectangle inside, in the text colour, shows the focus.
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::Text), 1, Qt::DotLine));
    painter.drawRect(rect().adjusted(1, 1, -2, -2));
}

void SampleBox::keyPressEvent(QKeyEvent* event)
{
    // Space does what a click does, once per press, as on a button.
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        if (!event->isAutoRepeat())
            emit clicked();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void SampleBox::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton;
    QLineEdit::mousePressEvent(event);
}

void SampleBox::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton
                       && rect().contains(event->position().toPoint());
    pressed_ = false;
    QLineEdit::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}

} // namespace zp
