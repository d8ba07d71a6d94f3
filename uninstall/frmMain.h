#pragma once
// TamoUnZP: after the user confirms, deletes the two values that TamoZP stores (the format and
// the enable flag) and nothing else, showing progress and result on its one window. Closing
// the window ends the program: with status 1 when the removal failed, else 0. The store, the
// boxes and the end of the program come from main in one gui::WindowServices, as for TamoZP's
// window, so tests hand it a store in a temporary folder, answer its boxes and watch it end.
// Depends on the runtime, the shared Qt support (gui/) and the value names of
// editor/ZPSettings.h, nothing else of the editor.

#include "gui/WindowServices.h"
#include "runtime/Guard.h"
#include "uninstall/SurfaceText.h"

#include <QWidget>

class QPushButton;

namespace unzp {

inline constexpr char16_t kConfirmPrompt[] = u"TamoZP の設定/登録情報を削除してよろしいですか?";
inline constexpr char16_t kConfirmTitle[] = u"設定/登録情報削除の確認 - TamoUnZP";
inline constexpr int kConfirmStyle = vb::vbYesNo | vb::vbQuestion | vb::vbDefaultButton2 | vb::vbSystemModal;
inline constexpr char16_t kProgressLine[] = u" 設定/登録情報削除中...";
inline constexpr char16_t kDoneLine[] = u" 設定/登録情報削除完了";
inline constexpr char16_t kProgramTitle[] = u"TamoUnZP";
inline constexpr int kErrorStyle = vb::vbOKOnly | vb::vbCritical;

class frmMain : public QWidget {
    Q_OBJECT
public:
    explicit frmMain(gui::WindowServices services, QWidget* parent = nullptr);

    // The load handler. Asks first; on No returns false at once, having shown nothing and
    // deleted nothing. On Yes shows the window, deletes the two values and enables OK;
    // returns true, and the program runs until the window closes. A value already absent is
    // skipped silently; any other failure shows "エラー番号:" with the number and description
    // and leaves the handler with the progress line on the window and OK disabled; the user
    // closes the window (its ×, or Esc) and the program ends with status 1.
    bool Form_Load();

    QPushButton* cmdMain() const { return cmdMain_; }
    const SurfaceText& surface() const { return surface_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void cmdMain_Click();
    vb::OnError loadFailed(const vb::Error& error);
    void Print(const QString& text);
    void Cls();
    void surfaceChanged();

    gui::WindowServices services_;
    SurfaceText surface_;
    QPushButton* cmdMain_;
    bool failed_ = false;
};

} // namespace unzp
