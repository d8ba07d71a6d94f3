#include "gui/GuiSupport.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QMessageBox>
#include <QShortcutEvent>

namespace gui {

namespace {

// A button's own access key, handled as Qt does but with click() where Qt animates the click.
bool clickOnAccessKey(QAbstractButton* button, const QShortcutEvent* event)
{
    if (!button || event->isAmbiguous() || event->key() != button->shortcut())
        return false; // Qt moves the focus between buttons that share a key; leave that to it
    if (button->isCheckable() && (button->focusPolicy() & Qt::ClickFocus))
        button->setFocus(Qt::ShortcutFocusReason);
    button->click();
    return true;
}

// A message box answers to its buttons' letters without Alt, as Qt's own keyPressEvent does.
bool clickOnLetter(QMessageBox* box, const QKeyEvent* event)
{
    if (!box || event->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier))
        return false;
    for (QAbstractButton* button : box->buttons()) {
        const QKeySequence key = button->shortcut();
        if (!key.isEmpty() && key[0].key() == event->key()) {
            button->click();
            return true;
        }
    }
    return false;
}

class AccessKeyClicks final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Shortcut:
            return clickOnAccessKey(qobject_cast<QAbstractButton*>(watched), static_cast<QShortcutEvent*>(event));
        case QEvent::KeyPress: // seen again as it travels up from the focused button to the box
            return clickOnLetter(qobject_cast<QMessageBox*>(watched), static_cast<QKeyEvent*>(event));
        default:
            return false;
        }
    }
};

} // namespace

void clickAccessKeysAtOnce(QApplication& app)
{
    app.installEventFilter(new AccessKeyClicks(&app));
}

} // namespace gui
