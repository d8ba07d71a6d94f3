#include "editor/frmMain.h"

#include "editor/Controls.h"
#include "editor/Tokens.h"
#include "editor/ZPSettings.h"
#include "engine/Reports.h"
#include "engine/ZPModule.h"
#include "gui/GuiSupport.h"
#include "runtime/Guard.h"
#include "runtime/MessageBox.h"
#include "runtime/Text.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace zp {

enum class Kind {
    Frame,
    Label,
    SingleLineTextBox, // txtSet
    TextBox,           // txtSample: read-only, clickable
    Button,
    DefaultButton,     // Enter clicks it unless another button has the focus
    CancelButton,      // Esc clicks it wherever the focus is
    DropDownList,      // pick an item; no text of one's own
    CheckBox,          // unchecked
};

enum class In { Window, fraSet };

struct ControlRow {
    int tab;
    QStringView name;
    int index; // within a control array; -1 for a single control
    Kind kind;
    In container;
    QStringView caption;
    int left, top, width, height; // twips, from the container's top-left corner
};

namespace {

// The window's client area, in twips.
constexpr int kClientWidth = 5772;
constexpr int kClientHeight = 4044;
constexpr qreal kFormatFontPoints = 10.2;

// In tab order. cboHour and cboSet belong to the window, though they lie over fraSet.
// clang-format off
constexpr ControlRow kControls[] = {
//  tab  name          index kind                 container   caption or initial text           left   top  width height
    { 0, u"fraSet",     -1, Kind::Frame,             In::Window, u"フォーマット設定(&F)",           120,  120, 5532, 2772},
    { 1, u"lblSet",     -1, Kind::Label,             In::fraSet, u"書式指定(&S)",                   240,  360, 1212,  372},
    { 2, u"txtSet",     -1, Kind::SingleLineTextBox, In::fraSet, u"",                              1440,  360, 3852,  372},
    { 3, u"txtSample",  -1, Kind::TextBox,           In::fraSet, u"for the Test ... Click here !",  240,  900, 5052,  372},
    { 4, u"cmdSet",      0, Kind::Button,            In::fraSet, u"時刻",                           240, 1440,  792,  432},
    { 5, u"cboHour",    -1, Kind::DropDownList,      In::Window, u"",                               360, 2100, 1392,  288},
    { 6, u"chkSec",     -1, Kind::CheckBox,          In::fraSet, u"秒",                             240, 2340,  732,  312},
    { 7, u"cmdSet",      1, Kind::Button,            In::fraSet, u"日",                            1080, 1440,  672,  432},
    { 8, u"cmdSet",      2, Kind::Button,            In::fraSet, u"月",                            1800, 1440,  672,  432},
    { 9, u"cmdSet",      3, Kind::Button,            In::fraSet, u"Month",                         1800, 1920,  672,  432},
    {10, u"cmdSet",      4, Kind::Button,            In::fraSet, u"曜日",                          2520, 1440,  672,  432},
    {11, u"cmdSet",      5, Kind::Button,            In::fraSet, u"Day",                           2520, 1920,  672,  432},
    {12, u"cboSet",     -1, Kind::DropDownList,      In::Window, u"",                              3420, 1620, 1932,  288},
    {13, u"cmdSet",      6, Kind::Button,            In::fraSet, u"他",                            4560, 1920,  672,  432},
    {14, u"cmdMain",     0, Kind::DefaultButton,     In::Window, u"OK",                            1800, 3480, 1212,  432},
    {15, u"cmdMain",     1, Kind::CancelButton,      In::Window, u"Cancel",                        3120, 3480, 1212,  432},
    {16, u"cmdMain",     2, Kind::Button,            In::Window, u"&About",                        4500, 3480, 1152,  432},
    {17, u"chkDisable", -1, Kind::CheckBox,          In::Window, u"TamoZP設定の無効化(&D)",          120, 3000, 2412,  312},
};
// clang-format on

QString objectNameOf(const ControlRow& row)
{
    QString name = row.name.toString();
    if (row.index >= 0)
        name += u'_' + QString::number(row.index);
    return name;
}

const QString kMalformedPrompt =
    QStringLiteral("フォーマット指定に誤った部分があります。正しく指定しなおしてください。");
const QString kDisablePrompt = QStringLiteral("TamoZP設定を無効にします。よろしいですか。");
const QString kAboutTitle = QStringLiteral("TamoZP のバージョン情報");

// SetZP reads the format from txtSet itself, once for each value it stores.
class TextOf final : public FormatSource {
public:
    explicit TextOf(const QLineEdit& box) : box_(box) { }
    QString formatText() const override { return box_.text(); }

private:
    const QLineEdit& box_;
};

} // namespace

frmMain::frmMain(gui::WindowServices services, QWidget* parent)
    : QWidget(parent), services_(std::move(services))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("TamoZP"));
    setFont(gui::windowFont());
    buildControls();
    gui::setFixedWindowSize(this, kClientWidth, kClientHeight);
    txtSet->setFocus();
}

frmMain::~frmMain() = default;

void frmMain::buildControls()
{
    QList<QWidget*> inTabOrder;
    for (const ControlRow& row : kControls)
        inTabOrder.append(createControl(row));

    // Tab order runs through the table; frames and labels take no focus and drop out of it.
    // A frame's or a label's access key goes to the next control that takes the focus.
    QWidget* previous = nullptr;
    QList<QWidget*> waiting; // frames and labels before the next focusable control
    for (QWidget* w : std::as_const(inTabOrder)) {
        if (!(w->focusPolicy() & Qt::TabFocus)) {
            waiting.append(w);
            continue;
        }
        for (QWidget* before : std::as_const(waiting)) {
            if (auto* frame = qobject_cast<Frame*>(before))
                frame->setNextInTabOrder(w);
            else if (auto* label = qobject_cast<QLabel*>(before))
                label->setBuddy(w);
        }
        waiting.clear();
        if (previous)
            setTabOrder(previous, w);
        previous = w;
    }

    cmdSetGroup = new QButtonGroup(this);
    cmdMainGroup = new QButtonGroup(this);
    for (int i = 0; i < int(cmdSet.size()); ++i)
        cmdSetGroup->addButton(cmdSet[size_t(i)], i);
    for (int i = 0; i < int(cmdMain.size()); ++i)
        cmdMainGroup->addButton(cmdMain[size_t(i)], i);
    connect(cmdSetGroup, &QButtonGroup::idClicked, this,
            [this](int id) { cmdSet_Click(qint16(id)); });
    connect(cmdMainGroup, &QButtonGroup::idClicked, this,
            [this](int id) { cmdMain_Click(qint16(id)); });
    connect(txtSample, &SampleBox::clicked, this, [this] { txtSample_Click(); });

    txtSet->setFont(gui::windowFont(kFormatFontPoints));
    for (QStringView item : kHourStyles)
        cboHour->addItem(item.toString());
    // The lists lie over the frame; keep them above it whatever the creation order.
    cboHour->raise();
    cboSet->raise();
}

QWidget* frmMain::createControl(const ControlRow& row)
{
    QWidget* parent = row.container == In::Window ? static_cast<QWidget*>(this) : fraSet;
    const QString caption = row.caption.toString();
    QWidget* w = nullptr;
    switch (row.kind) {
    case Kind::Frame:
        w = fraSet = new Frame(caption, parent);
        break;
    case Kind::Label:
        w = lblSet = new QLabel(caption, parent);
        break;
    case Kind::SingleLineTextBox:
        w = txtSet = new FormatBox(caption, parent);
        break;
    case Kind::TextBox:
        w = txtSample = new SampleBox(parent);
        txtSample->setText(caption);
        break;
    case Kind::Button:
    case Kind::DefaultButton:
    case Kind::CancelButton: {
        auto* button = new QPushButton(caption, parent);
        // Enter clicks the focused button through keyPressEvent, as for every button.
        button->setAutoDefault(false);
        if (row.kind == Kind::DefaultButton) {
            button->setDefault(true);
            defaultButton = button;
        } else if (row.kind == Kind::CancelButton) {
            cancelButton = button;
        }
        if (row.name == u"cmdSet")
            cmdSet[size_t(row.index)] = button;
        else
            cmdMain[size_t(row.index)] = button;
        w = button;
        break;
    }
    case Kind::DropDownList: {
        auto* list = new QComboBox(parent);
        list->setEditable(false);
        (row.name == u"cboHour" ? cboHour : cboSet) = list;
        w = list;
        break;
    }
    case Kind::CheckBox: {
        auto* box = new QCheckBox(caption, parent);
        (row.name == u"chkSec" ? chkSec : chkDisable) = box;
        w = box;
        break;
    }
    }
    w->setObjectName(objectNameOf(row));
    w->setProperty("TabIndex", row.tab);
    QRect place = gui::twipsRect(row.left, row.top, row.width, row.height, this);
    // Qt's check-box indicator and its gap take a few pixels more than the classic ones did,
    // enough to cut the last character of "TamoZP設定の無効化(&D)"; a check box grows to the
    // right, into empty space, just enough to show its whole caption.
    if (row.kind == Kind::CheckBox)
        place.setWidth(std::max(place.width(), w->sizeHint().width()));
    w->setGeometry(place);
    return w;
}

void frmMain::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    if (key == Qt::Key_Escape && mods == Qt::NoModifier) {
        cancelButton->click();
        return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && mods == Qt::NoModifier) {
        // Reached only when the focused control left the key alone: a button other than the
        // default one, a text box, a list or a check box.
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        (focused ? focused : defaultButton)->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    event->accept();
    Form_Unload();
}

void frmMain::ErrorMsg(const QString& sPlace, const vb::Error& error)
{
    vb::MsgBox(services_.boxes, windowReportText(sPlace, error), kReportStyle, reportTitle());
}

namespace {

// Report with ErrorMsg and resume with the next step.
std::function<vb::OnError(const vb::Error&)> reportTo(frmMain* window, const QString& sPlace)
{
    return [window, sPlace](const vb::Error& error) {
        window->ErrorMsg(sPlace, error);
        return vb::OnError::ResumeNext;
    };
}

} // namespace

void frmMain::cmdMain_Click(qint16 Index)
{
    vb::Guard guard(reportTo(this, QStringLiteral("frmMain!cmdMain_Click")));
    switch (Index) {
    case 0: { // OK
        QString sTimeKey;
        if (FromZPFToShowClk(txtSet->text(), sTimeKey, services_.now) == kZPErr) {
            vb::MsgBox(services_.boxes, kMalformedPrompt, vb::vbOKOnly);
            return;
        }
        // A store that failed has shown its report; the window stays open with the text so
        // that nothing typed is lost and the user can retry.
        if (!SetZP())
            return;
        if (chkDisable->isChecked()) {
            const int answer =
                vb::MsgBox(services_.boxes, kDisablePrompt, vb::vbYesNo | vb::vbDefaultButton2);
            if (answer == vb::vbYes) {
                if (!guard([&] { DisableZP(services_.store); }))
                    return; // as for SetZP: the flag may still say enabled, so stay open
            }
        }
        guard([&] { RequestRestart(services_.store); });
        close();
        return;
    }
    case 1: // Cancel
        close();
        return;
    case 2: // About
        vb::MsgBox(services_.boxes, aboutText(),
                   vb::vbOKOnly | vb::vbInformation | vb::vbSystemModal, kAboutTitle);
        return;
    }
}

// No guard: an error here ends the program with the runtime's own message.
void frmMain::cmdSet_Click(qint16 Index)
{
    const QString token = tokenText(Index, cboHour->currentIndex(), chkSec->isChecked(), sSetCode,
                                    cboSet->currentIndex());
    txtSet->insert(u'%' + token + u'%');
    txtSet->setFocus();
}

bool frmMain::Form_Load()
{
    vb::Guard guard(reportTo(this, QStringLiteral("frmMain_Load")));
    if (guard.test([&] { return services_.anotherInstanceRunning(); })) {
        unloaded_ = true;
        services_.end(0);
        return false;
    }
    cboHour->setCurrentIndex(kDefaultHourStyle);
    for (QStringView item : kPaletteInsertOrder)
        cboSet->insertItem(0, item.toString());
    cboSet->setCurrentIndex(0);
    for (size_t i = 0; i < sSetCode.size(); ++i)
        sSetCode[i] = kSetCodes[i].toString();
    txtSet->setText(GetZPF(services_.store)); // reports a failure itself and gives ""
    txtSet->setSelection(0, vb::Len(txtSet->text()));
    return true;
}

void frmMain::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    services_.end(0);
}

// No guard: an error here ends the program with the runtime's own message.
void frmMain::txtSample_Click()
{
    QString sTimeKey;
    txtSample->setText(FromZPFToShowClk(txtSet->text(), sTimeKey, services_.now));
}

bool frmMain::SetZP()
{
    return zp::SetZP(services_.store, TextOf(*txtSet),
                     [this](const QString& sPlace, const vb::Error& error) { ErrorMsg(sPlace, error); });
}

} // namespace zp
