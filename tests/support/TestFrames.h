#pragma once

// The tests' own frame rules, written independently of the code under test:
// STX, ID, CMD, LEN, data, ETX, SUM (byte sum of STX .. ETX), CR.

#include <QByteArray>

namespace ifb::test {

inline QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// Sum of a frame's first LEN + 5 bytes (STX .. ETX).
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

}  // namespace ifb::test
