#pragma once

#include <QString>
#include <optional>

namespace ifb {

enum class MsgIcon { None, Error, Warning, Information, Question };
enum class MsgButtons { Ok, Yes, YesNo };
enum class MsgOwner { None, MainWindow };
enum class MsgAnswer { Ok, Yes, No, Cancel };

// One message box as the program asks for it. No caption means the system's
// default title.
struct MessageBoxRequest {
    QString text;
    std::optional<QString> caption;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
    MsgOwner owner = MsgOwner::MainWindow;

    bool operator==(const MessageBoxRequest& o) const {
        return text == o.text && caption == o.caption && icon == o.icon && buttons == o.buttons &&
               owner == o.owner;
    }
};

// Every message box of the program goes through this seam, so that tests can
// script the answers and a console front end can print them.
class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    virtual MsgAnswer show(const MessageBoxRequest& request) = 0;
};

// The seam in use: what the front end installed (the window its widget boxes,
// batch mode the console), else the text on stderr with the answer that
// changes nothing (No, or the only button).
MessageBoxes& messageBoxes();
// Installs an implementation (nullptr removes it). The caller keeps ownership.
void setMessageBoxes(MessageBoxes* boxes);

// Convenience for the common call.
MsgAnswer showMessage(const QString& text, std::optional<QString> caption, MsgIcon icon,
                      MsgButtons buttons = MsgButtons::Ok, MsgOwner owner = MsgOwner::MainWindow);

}  // namespace ifb
