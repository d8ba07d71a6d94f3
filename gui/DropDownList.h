#pragma once
// A drop-down list that the user picks from and cannot type into, named for screen readers by
// what it chooses rather than by what it shows. Qt's accessible combo box reports its current
// item as its name on Linux and ignores accessibleName there, so a list of hour styles would
// be heard only as "24時間制". This one reports its accessibleName as its name (the current
// item when it has none) and its current item as its value, and keeps the item selected in
// its list, where screen readers look for the value. Depends on Qt Widgets only.

#include <QComboBox>

namespace gui {

class DropDownList final : public QComboBox {
    Q_OBJECT
public:
    explicit DropDownList(QWidget* parent = nullptr);
};

} // namespace gui
