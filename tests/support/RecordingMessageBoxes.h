#pragma once

#include <deque>
#include <functional>
#include <vector>

#include "MessageBox.h"

namespace ifb::test {

// Records every box and answers from a script; an empty script answers with
// the box's first button (Ok, Yes).
class RecordingMessageBoxes final : public MessageBoxes {
  public:
    RecordingMessageBoxes() { setMessageBoxes(this); }
    ~RecordingMessageBoxes() override { setMessageBoxes(nullptr); }

    MsgAnswer show(const MessageBoxRequest& request) override {
        if (onShow) onShow(request);
        shown.push_back(request);
        if (!answers.empty()) {
            const MsgAnswer a = answers.front();
            answers.pop_front();
            return a;
        }
        return request.buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Yes;
    }

    std::vector<MessageBoxRequest> shown;
    std::deque<MsgAnswer> answers;
    std::function<void(const MessageBoxRequest&)> onShow;
};

}  // namespace ifb::test
