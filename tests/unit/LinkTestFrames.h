#pragma once

// Fakes shared by the link tests; their frames come from TestFrames.h.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

#include "LinkReceiver.h"
#include "TestFrames.h"

namespace ifb::test {

inline const quint8* u8(const QByteArray& b) {
    return reinterpret_cast<const quint8*>(b.constData());
}

// Receive events that record what the link would trace and show.
class RecordingEvents final : public ReceiveEvents {
  public:
    bool traceOn() const override { return tracing; }
    bool rxTraceOn() const override { return rxTracing; }
    void trace(const QString& line) override { lines.append(line); }
    void sumError(const QString& message) override {
        boxes.append(message);
        if (onSumError) onSumError();
    }

    bool tracing = true;
    bool rxTracing = false;
    QStringList lines;
    QStringList boxes;
    std::function<void()> onSumError;
};

}  // namespace ifb::test
