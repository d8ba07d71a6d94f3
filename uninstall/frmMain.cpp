#include "uninstall/frmMain.h"

#include "editor/ZPSettings.h"
#include "gui/GuiSupport.h"
#include "runtime/MessageBox.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>

namespace unzp {

namespace {
QString text(const char16_t* s)
{
    return QString::fromUtf16(s);
}
} // namespace

frmMain::frmMain(gui::WindowServices services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)), cmdMain_(new QPushButton(this))
{
    setWindowTitle(text(kProgramTitle));
    setWindowIcon(gui::applicationIcon());
    setFont(gui::windowFont());
    // Nothing on the window moves, so it keeps its size.
    gui::setFixedWindowSize(this, 3072, 1428);

    cmdMain_->setText(QStringLiteral("OK"));
    cmdMain_->setGeometry(gui::twipsRect(2040, 960, 975, 375, this));
    cmdMain_->setDefault(true);
    cmdMain_->setEnabled(false);
    connect(cmdMain_, &QPushButton::clicked, this, &frmMain::cmdMain_Click);
}

bool frmMain::Form_Load()
{
    vb::Guard guard([this](const vb::Error& error) { return loadFailed(error); });

    if (vb::MsgBox(services_.boxes, text(kConfirmPrompt), kConfirmStyle, text(kConfirmTitle)) == vb::vbNo)
        return false;

    const QString app = text(zp::kAppName);
    show();
    Print(QStringLiteral("\r\n") + text(kProgressLine));
    guard([&] { services_.store.DeleteSetting(app, text(zp::kSectionMain), text(zp::kKeyFormat)); });
    guard([&] { services_.store.DeleteSetting(app, text(zp::kSectionPlugIn), text(zp::kKeyEnable)); });
    // A failure that left the handler leaves the progress line standing and OK disabled.
    if (guard.exited())
        return true;
    Cls();
    Print(QStringLiteral("\r\n") + text(kDoneLine));
    cmdMain_->setEnabled(true);
    cmdMain_->setFocus();
    return true;
}

vb::OnError frmMain::loadFailed(const vb::Error& error)
{
    // A value that is already gone is what a second run finds: not worth a word.
    if (error.number == vb::InvalidArgument)
        return vb::OnError::ResumeNext;
    // Leaving without a word would leave the progress line standing as if still at work.
    vb::MsgBox(services_.boxes, QStringLiteral("エラー番号:%1\r\n%2").arg(error.number).arg(error.description),
               kErrorStyle, text(kProgramTitle));
    return vb::OnError::Exit;
}

void frmMain::cmdMain_Click()
{
    // The only window: closing it ends the program.
    close();
}

void frmMain::Print(const QString& line)
{
    surface_.print(line);
    repaint();
}

void frmMain::Cls()
{
    surface_.clear();
    repaint();
}

void frmMain::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics(font());
    int baseline = metrics.ascent();
    for (const QString& line : surface_.lines()) {
        painter.drawText(0, baseline, line);
        baseline += metrics.lineSpacing();
    }
}

void frmMain::keyPressEvent(QKeyEvent* event)
{
    // OK is the window's default button: Enter clicks it wherever the focus is.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && cmdMain_->isEnabled()) {
        cmdMain_->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace unzp
