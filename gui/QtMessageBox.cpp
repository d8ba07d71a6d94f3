#include "gui/GuiSupport.h"

#include <QMessageBox>
#include <QPushButton>

#include <span>

namespace gui {

namespace {

struct Choice {
    QMessageBox::StandardButton button;
    int answer;
};

// The buttons of each group in their on-screen order, which is the order the default-button
// bits count in, with the runtime's answer for each.
std::span<const Choice> buttonsOf(int style)
{
    static constexpr Choice ok[] = {{QMessageBox::Ok, vb::vbOK}};
    static constexpr Choice okCancel[] = {{QMessageBox::Ok, vb::vbOK}, {QMessageBox::Cancel, 2}};
    static constexpr Choice abortRetryIgnore[] = {
        {QMessageBox::Abort, 3}, {QMessageBox::Retry, 4}, {QMessageBox::Ignore, 5}};
    static constexpr Choice yesNoCancel[] = {
        {QMessageBox::Yes, vb::vbYes}, {QMessageBox::No, vb::vbNo}, {QMessageBox::Cancel, 2}};
    static constexpr Choice yesNo[] = {{QMessageBox::Yes, vb::vbYes}, {QMessageBox::No, vb::vbNo}};
    static constexpr Choice retryCancel[] = {{QMessageBox::Retry, 4}, {QMessageBox::Cancel, 2}};
    switch (style & 7) {
    case 1: return okCancel;
    case 2: return abortRetryIgnore;
    case 3: return yesNoCancel;
    case vb::vbYesNo: return yesNo;
    case 5: return retryCancel;
    default: return ok;
    }
}

QMessageBox::Icon iconOf(int style)
{
    switch (style & 0x70) {
    case vb::vbCritical: return QMessageBox::Critical;
    case vb::vbQuestion: return QMessageBox::Question;
    case vb::vbExclamation: return QMessageBox::Warning;
    case vb::vbInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

} // namespace

std::unique_ptr<QMessageBox> QtMessageBox::build(const QString& prompt, int style,
                                                 const QString& title, QWidget* parent)
{
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(title);
    box->setTextFormat(Qt::PlainText);
    box->setText(QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    box->setIcon(iconOf(style));

    const std::span<const Choice> choices = buttonsOf(style);
    QMessageBox::StandardButtons buttons;
    for (const Choice& c : choices)
        buttons |= c.button;
    box->setStandardButtons(buttons);
    // A default beyond the last button falls back to the first, as the classic box does.
    const size_t defaultIndex = static_cast<size_t>((style >> 8) & 0xF);
    box->setDefaultButton(choices[defaultIndex < choices.size() ? defaultIndex : 0].button);

    // Esc: Cancel when there is one, OK when it is the only button; Qt finds both itself and
    // otherwise lets Esc answer No, which is the safe answer of a question.
    box->setWindowModality(Qt::ApplicationModal);
    return box;
}

int QtMessageBox::answerOf(const QMessageBox& box)
{
    QAbstractButton* pressed = box.clickedButton();
    if (!pressed)
        pressed = box.escapeButton();
    const QMessageBox::StandardButton which =
        pressed ? box.standardButton(pressed) : QMessageBox::NoButton;
    for (int group = 0; group <= 5; ++group)
        for (const Choice& c : buttonsOf(group))
            if (c.button == which)
                return c.answer;
    return vb::vbOK;
}

int QtMessageBox::show(const QString& prompt, int style, const QString& title)
{
    const std::unique_ptr<QMessageBox> box =
        build(prompt, style, title, QApplication::activeWindow());
    box->exec();
    return answerOf(*box);
}

} // namespace gui
