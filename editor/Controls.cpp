#include "editor/Controls.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QPalette>

#include <limits>

namespace zp {

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
