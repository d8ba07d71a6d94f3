#pragma once
// The plug-in's stored values and the restart request to the running host. The whole persistent
// state is two strings in the per-user settings store under the host's application name: the
// format and the enable flag; the host publishes the handle of its receiver in a third value.
// Depends on the runtime and the engine's reports only (Qt Core); TamoZP and tamo-clock link it.

#include <QString>

namespace vb {
class SettingsStore;
}

namespace zp {

inline constexpr char16_t kAppName[] = u"Tamo for Windows NT/95";
inline constexpr char16_t kSectionMain[] = u"Main";
inline constexpr char16_t kKeyFormat[] = u"ZPFormat";
inline constexpr char16_t kSectionPlugIn[] = u"Plug in";
inline constexpr char16_t kKeyEnable[] = u"TamoZP";
inline constexpr char16_t kKeyRestartRecv[] = u"RestartMsgRecv";

// The restart message and its parameters.
inline constexpr qint32 kRestartMessage = 0x0203;

// Where SetZP reads the text it stores (the window's txtSet, or a string in tests).
class FormatSource {
public:
    virtual ~FormatSource() = default;
    virtual QString formatText() const = 0;
};

// The stored format, or "" when absent. Guarded: a failure shows the engine report with place
// "GetZPF" and gives "".
QString GetZPF(const vb::SettingsStore& store);

// Stores the enable flag ("0" when the trimmed text is empty, else "1") and then the text
// itself, reading `source` once for each. Guarded: a failure shows the window report with
// place "frmMain!SetZP" and goes on with the next step. True when both values were stored.
bool SetZP(const vb::SettingsStore& store, const FormatSource& source);

// Stores the enable flag "0". Unguarded: a store error reaches the caller.
void DisableZP(const vb::SettingsStore& store);

// Reads RestartMsgRecv (default "0") as a signed 32-bit handle; when it is not 0, posts the
// restart message to that host without waiting. Unguarded: text that is no number raises 13
// to the caller; a missing or unreachable host is silent.
void RequestRestart(const vb::SettingsStore& store);

} // namespace zp
