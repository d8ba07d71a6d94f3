#pragma once
// TamoZP's one window: the user edits the display format, inserts tokens from buttons and a
// palette, previews the expansion by clicking the sample box, and confirms. OK checks the
// format with the expander, stores it and the enable flag, optionally disables the plug-in,
// asks the running host to restart and ends the program; Cancel, Esc and closing end it
// without storing. Loading the window is the program's start: a second instance ends there.
//
// The window decides nothing about what is stored or how a box looks: the stored values go
// through ZPSettings.h, the boxes through the runtime's message-box service, and what would
// end the process (a second instance, unloading) through the hooks below, so that tests can
// drive the real widgets and watch the program "end" without it ending.
// Depends on the editor's stored values, the engine, the runtime and Qt Widgets.

#include "editor/Tokens.h"
#include "runtime/Error.h"
#include "runtime/Program.h"
#include "runtime/SettingsStore.h"

#include <QString>
#include <QWidget>

#include <array>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace zp {

class Frame;
class FormatBox;
class SampleBox;
struct ControlRow;

struct WindowHooks {
    // Load step 1: whether another TamoZP of this user is already running.
    std::function<bool()> anotherInstanceRunning = [] { return false; };
    // Ends the program at once with a status. When it returns, as a test's does, the window
    // behaves as if the program had ended: loading stops, and an unloaded window stays closed.
    std::function<void(int status)> end = [](int status) { vb::End(status); };
};

// Object names: the control's name, and for members of a control array the name, "_" and
// the index ("cmdSet_0" … "cmdSet_6", "cmdMain_0" … "cmdMain_2"). Every control also carries
// its tab index in the dynamic property "TabIndex".
class frmMain final : public QWidget {
    Q_OBJECT
public:
    explicit frmMain(WindowHooks hooks, QWidget* parent = nullptr);
    ~frmMain() override;

    // The window report: shows the error with its place and returns when the user closed it.
    // The runtime keeps no current error, so the guard that caught it passes it along.
    void ErrorMsg(const QString& sPlace, const vb::Error& error);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void cmdMain_Click(qint16 Index);
    void cmdSet_Click(qint16 Index);
    void Form_Load();
    void Form_Unload();
    void txtSample_Click();
    bool SetZP();

    void buildControls();
    QWidget* createControl(const ControlRow& row);

    WindowHooks hooks_;
    vb::SettingsStore store_ = vb::SettingsStore::fromEnvironment();
    bool unloaded_ = false;

    Frame* fraSet = nullptr;
    QLabel* lblSet = nullptr;
    FormatBox* txtSet = nullptr;
    SampleBox* txtSample = nullptr;
    std::array<QPushButton*, 7> cmdSet{};
    QComboBox* cboHour = nullptr;
    QCheckBox* chkSec = nullptr;
    QComboBox* cboSet = nullptr;
    std::array<QPushButton*, 3> cmdMain{};
    QCheckBox* chkDisable = nullptr;
    QButtonGroup* cmdSetGroup = nullptr;
    QButtonGroup* cmdMainGroup = nullptr;
    QPushButton* defaultButton = nullptr;
    QPushButton* cancelButton = nullptr;

    // The palette's token codes, parallel to cboSet's items.
    SetCodes sSetCode;
};

} // namespace zp
