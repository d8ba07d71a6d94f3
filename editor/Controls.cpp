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
}

void SampleBox::useCaptionColours()
{
    const QPalette app = QApplication::palette(this);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, app.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Text, app.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
}

void SampleBox::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::StyleChange)
        useCaptionColours();
    QLineEdit::changeEvent(event);
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
