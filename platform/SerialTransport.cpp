#include "SerialTransport.h"

namespace ifb {

SerialTransport::SerialTransport(const SerialLine& line) {
    port_.SetLine(line);
    connect(&port_, &TComPort::OnRxChar, this, [this] { emit bytesArrived(); });
    connect(&port_, &TComPort::OnError, this,
            [this](ComErrors errors) { emit errorOccurred(ComErrorsToStr(errors)); });
}

SerialTransport::~SerialTransport() {
    port_.disconnect(this);
    port_.Close();
}

void SerialTransport::open() {
    const bool wasOpen = port_.Connected();
    try {
        port_.Open();
    } catch (const ComPortError& e) {
        emit errorOccurred(QString::fromStdString(e.what()));
        if (wasOpen) emit stateChanged(false);
        if (e.accessDenied()) emit accessDenied();
        emit openFailed(port_.Port() + QStringLiteral("がオープン出来ません!!\n\n") +
                        QStringLiteral("  ポート及びパラメータ設定を再確認してください。"));
        return;
    }
    emit stateChanged(true);
}

void SerialTransport::close() {
    const bool wasOpen = port_.Connected();
    port_.Close();
    if (wasOpen) emit stateChanged(false);
}

void SerialTransport::write(const QByteArray& bytes) {
    if (port_.Connected()) port_.Write(bytes.constData(), static_cast<int>(bytes.size()));
}

qint64 SerialTransport::bytesAvailable() const {
    return port_.BytesAvailable();
}

int SerialTransport::read(char* buffer, int max) {
    return port_.Connected() ? port_.Read(buffer, max) : 0;
}

bool SerialTransport::setPortName(const QString& name) {
    port_.SetPort(name);
    return true;
}

}  // namespace ifb
