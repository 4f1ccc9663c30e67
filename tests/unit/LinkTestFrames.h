#pragma once

// Frames and fakes shared by the link tests. Frames are built here with the
// tests' own checksum, not with the code under test.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

#include "LinkReceiver.h"

namespace ifb::test {

inline QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

inline quint8 oracleSum(const QByteArray& f) {
    unsigned sum = 0;
    for (int i = 0; i < static_cast<quint8>(f[3]) + 5; ++i) sum += static_cast<quint8>(f[i]);
    return static_cast<quint8>(sum % 256);
}

inline QByteArray frameOf(quint8 cmd, const QByteArray& data, quint8 id = 0) {
    QByteArray f;
    f.append('\x02').append(static_cast<char>(id)).append(static_cast<char>(cmd));
    f.append(static_cast<char>(data.size())).append(data).append('\x03');
    f.append(static_cast<char>(oracleSum(f))).append('\x0D');
    return f;
}

inline QByteArray ackOf(const QByteArray& data) {
    return frameOf('0', data);
}
inline QByteArray nackOf(const QByteArray& data) {
    return frameOf('1', data);
}

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
