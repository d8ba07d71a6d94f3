#include "gui/GuiSupport.h"

#include <QMessageBox>

#include <memory>

namespace gui {

namespace {

QMessageBox::Icon iconOf(int style)
{
    switch (style & 0x70) {
    case vb::vbCritical: return QMessageBox::Critical;
    case vb::vbQuestion: return QMessageBox::Question;
    case vb::vbInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

std::unique_ptr<QMessageBox> build(const QString& prompt, int style, const QString& title)
{
    auto box = std::make_unique<QMessageBox>(QApplication::activeWindow());
    box->setWindowTitle(title);
    box->setTextFormat(Qt::PlainText);
    box->setText(QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    box->setIcon(iconOf(style));
    if ((style & 7) == vb::vbYesNo) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(style & vb::vbDefaultButton2 ? QMessageBox::No : QMessageBox::Yes);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->setDefaultButton(QMessageBox::Ok);
    }
    // Qt finds the Esc button itself: OK when it is the only one, otherwise No.
    box->setWindowModality(Qt::ApplicationModal);
    return box;
}

// The button pressed, or the Esc button when the box was closed without one.
int answerOf(const QMessageBox& box)
{
    QAbstractButton* pressed = box.clickedButton() ? box.clickedButton() : box.escapeButton();
    switch (pressed ? box.standardButton(pressed) : QMessageBox::NoButton) {
    case QMessageBox::Yes: return vb::vbYes;
    case QMessageBox::No: return vb::vbNo;
    default: return vb::vbOK;
    }
}

} // namespace

int QtMessageBox::show(const QString& prompt, int style, const QString& title)
{
    const std::unique_ptr<QMessageBox> box = build(prompt, style, title);
    box->exec();
    return answerOf(*box);
}

} // namespace gui
