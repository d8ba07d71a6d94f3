#pragma once
// The message-box service. The windows receive theirs from main (a Qt dialog; a fake that
// records each box and answers from a script in tests); what has no window to receive one (the
// engine's reports, the runtime's last message) goes through the installed service, standard
// error until a program installs its own. Depends on Qt Core only.

#include <QString>

namespace vb {

// Only what the programs show: an OK or a Yes/No box, three icons, the second button as the default.
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbYesNo = 4,
    vbCritical = 16,
    vbQuestion = 32,
    vbInformation = 64,
    vbDefaultButton2 = 256,
    vbSystemModal = 4096,
};

enum MsgBoxResult : int {
    vbOK = 1,
    vbYes = 6,
    vbNo = 7,
};

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // Shows the box and returns the answer (vbOK, vbYes, vbNo) once the user has closed it.
    // Never raises.
    virtual int show(const QString& prompt, int style, const QString& title) = 0;
};

// Writes the title line and the prompt's lines (CR LF becomes LF) to standard error in UTF-8
// and answers OK (or the default button of a Yes/No box).
class StderrMessageBox final : public MessageBoxService {
public:
    int show(const QString& prompt, int style, const QString& title) override;
};

// The installed service; the standard-error one until a program installs its own.
MessageBoxService& messageBoxService();
// Installs a service (nullptr: back to standard error). The caller keeps ownership.
void setMessageBoxService(MessageBoxService* service);

// Shows a box through `service`; an empty title shows the program's title.
int MsgBox(MessageBoxService& service, const QString& prompt, int style = vbOKOnly,
           const QString& title = QString());
// The same through the installed service.
int MsgBox(const QString& prompt, int style = vbOKOnly, const QString& title = QString());

} // namespace vb
