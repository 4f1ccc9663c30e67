#pragma once

#include <QString>
#include <QUrl>
#include <Qt>

namespace ifb {

// What the program asks of the desktop besides windows: the default beep,
// opening a web page or a folder, the device management view, and the state
// of the keyboard. Tests install their own to observe the calls.
class SystemShell {
  public:
    virtual ~SystemShell() = default;
    virtual void beep();
    // Asks the desktop to open url; the result is not looked at.
    virtual void openUrl(const QUrl& url);
    // The device manager on Windows; /dev/serial/by-id (else /dev) in the file manager elsewhere.
    virtual void openDeviceManager();
    // The modifier keys down right now, read from the keyboard, not from an event.
    virtual Qt::KeyboardModifiers keyboardModifiers() const;
};

// The shell in use (the desktop's unless another one was installed).
SystemShell& systemShell();
// Installs a shell (nullptr restores the desktop's). The caller keeps ownership.
void setSystemShell(SystemShell* shell);

}  // namespace ifb
