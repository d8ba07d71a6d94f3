#include "gui/DropDownList.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QItemSelectionModel>

namespace gui {

namespace {

// Qt's own interface for a list-only combo box, but for the name.
class AccessibleList final : public QAccessibleWidget {
public:
    explicit AccessibleList(QComboBox* list) : QAccessibleWidget(list, QAccessible::ComboBox) { }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value || (t == QAccessible::Name && widget()->accessibleName().isEmpty()))
            return list()->currentText();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = list()->view()->isVisible();
        return s;
    }
    // The one child is the list of items.
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(list()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child && child->object() == list()->view() ? 0 : -1;
    }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    QString localizedActionDescription(const QString& action) const override
    {
        return actionNames().contains(action) ? QComboBox::tr("Open the combo box selection popup") : QString();
    }
    void doAction(const QString& action) override
    {
        if (!actionNames().contains(action))
            return;
        if (list()->view()->isVisible())
            list()->hidePopup();
        else
            list()->showPopup();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QComboBox* list() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* accessibleList(const QString& className, QObject* object)
{
    if (className == QLatin1String(DropDownList::staticMetaObject.className()) && object && object->isWidgetType())
        return new AccessibleList(static_cast<QComboBox*>(object));
    return nullptr;
}

} // namespace

DropDownList::DropDownList(QWidget* parent) : QComboBox(parent)
{
    // Asked before Qt's own factory, which knows only QComboBox, the base class.
    static const bool installed = (QAccessible::installFactory(accessibleList), true);
    (void)installed;
    setEditable(false);
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        view()->selectionModel()->setCurrentIndex(model()->index(index, modelColumn()),
                                                  QItemSelectionModel::ClearAndSelect);
    });
}

} // namespace gui
