#include "MessageBox.h"

#include <cstdio>

namespace ifb {
namespace {

MessageBoxes* g_installed = nullptr;

// Where no front end installed boxes of its own: the text goes to stderr and
// the answer is the one that changes nothing.
class StderrMessageBoxes final : public MessageBoxes {
  public:
    MsgAnswer show(const MessageBoxRequest& request) override {
        std::fprintf(stderr, "%s\n", request.text.toLocal8Bit().constData());
        switch (request.buttons) {
            case MsgButtons::YesNo:
                return MsgAnswer::No;
            case MsgButtons::Yes:
                return MsgAnswer::Yes;
            case MsgButtons::Ok:
                break;
        }
        return MsgAnswer::Ok;
    }
};

}  // namespace

MessageBoxes& messageBoxes() {
    static StderrMessageBoxes fallback;
    return g_installed ? *g_installed : fallback;
}

void setMessageBoxes(MessageBoxes* boxes) {
    g_installed = boxes;
}

MsgAnswer showMessage(const QString& text, std::optional<QString> caption, MsgIcon icon, MsgButtons buttons,
                      MsgOwner owner) {
    return messageBoxes().show({text, std::move(caption), icon, buttons, owner});
}

}  // namespace ifb
