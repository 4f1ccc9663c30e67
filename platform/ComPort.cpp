#include "ComPort.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#ifndef Q_OS_WIN
#include <unistd.h>

#include <cerrno>
#endif

namespace ifb {
namespace {

// Qt reports a port in use and a device the user may not open with the same
// PermissionError; only the second is mended by joining the device's group.
// systemName is what the port was opened by: a path, or a name under /dev.
bool AccessDenied(const QString& systemName) {
#ifdef Q_OS_WIN
    Q_UNUSED(systemName);
    return false;
#else
    const QString path =
        systemName.contains(QLatin1Char('/')) ? systemName : QStringLiteral("/dev/") + systemName;
    const QByteArray device = QFile::encodeName(path);
    return ::access(device.constData(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM);
#endif
}

QSerialPort::Parity toQt(Parity p) {
    switch (p) {
        case Parity::prOdd:
            return QSerialPort::OddParity;
        case Parity::prEven:
            return QSerialPort::EvenParity;
        case Parity::prMark:
            return QSerialPort::MarkParity;
        case Parity::prSpace:
            return QSerialPort::SpaceParity;
        case Parity::prNone:
            break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits toQt(StopBits s) {
    switch (s) {
        case StopBits::sbOne5StopBits:
            return QSerialPort::OneAndHalfStop;
        case StopBits::sbTwoStopBits:
            return QSerialPort::TwoStop;
        case StopBits::sbOneStopBit:
            break;
    }
    return QSerialPort::OneStop;
}

QSerialPort::FlowControl toQt(FlowControl f) {
    switch (f) {
        case FlowControl::fcHardware:
            return QSerialPort::HardwareControl;
        case FlowControl::fcSoftware:
            return QSerialPort::SoftwareControl;
        case FlowControl::fcNone:
            break;
    }
    return QSerialPort::NoFlowControl;
}

ComErrors toComErrors(QSerialPort::SerialPortError e) {
    switch (e) {
        case QSerialPort::NoError:
            return 0;
        case QSerialPort::ReadError:
            return ceRead;
        case QSerialPort::WriteError:
            return ceWrite;
        case QSerialPort::ResourceError:
            return ceDeviceLost;
        case QSerialPort::UnsupportedOperationError:
            return ceUnsupported;
        case QSerialPort::TimeoutError:
            return ceTimeout;
        default:
            return ceOther;
    }
}

// A path is opened by its device, so that a symlink made by a simulator works too.
QString systemPortName(const QString& port) {
    if (!port.contains(QLatin1Char('/'))) return port;
    const QString resolved = QFileInfo(port).canonicalFilePath();
    return resolved.isEmpty() ? port : resolved;
}

}  // namespace

QString ComErrorsToStr(ComErrors errors) {
    static const struct {
        ComError flag;
        const char* text;
    } names[] = {{ceRead, "read error"},        {ceWrite, "write error"},
                 {ceDeviceLost, "device lost"}, {ceUnsupported, "unsupported operation"},
                 {ceTimeout, "time-out"},       {ceOther, "port error"}};
    QStringList parts;
    for (const auto& n : names) {
        if (errors & n.flag) parts.append(QLatin1String(n.text));
    }
    return parts.join(QStringLiteral(", "));
}

TComPort::TComPort(QObject* parent) : QObject(parent) {
    connect(&port_, &QSerialPort::readyRead, this, &TComPort::handleReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &TComPort::handleError);
}

TComPort::~TComPort() {
    Close();
}

void TComPort::Open() {
    Close();
    port_.setPortName(systemPortName(line_.port));
    port_.setBaudRate(BaudRateValue(line_.baudRate));
    port_.setParity(toQt(line_.parity));
    port_.setDataBits(static_cast<QSerialPort::DataBits>(static_cast<int>(line_.dataBits)));
    port_.setStopBits(toQt(line_.stopBits));
    port_.setFlowControl(toQt(line_.flowControl));
    opening_ = true;
    if (!port_.open(QIODevice::ReadWrite)) {
        const QString reason = port_.errorString();
        const bool denied =
            port_.error() == QSerialPort::PermissionError && AccessDenied(systemPortName(line_.port));
        opening_ = false;
        port_.clearError();
        throw ComPortError(line_.port + QStringLiteral(": ") + reason, denied);
    }
    // Some devices (ptys) have no modem lines; failing to drop them is not an open failure.
    port_.setDataTerminalReady(false);
    if (line_.flowControl != FlowControl::fcHardware) port_.setRequestToSend(false);
    port_.clearError();
    opening_ = false;
    lost_ = false;
    connected_ = true;
}

void TComPort::Close() {
    connected_ = false;
    lost_ = false;
    if (port_.isOpen()) port_.close();
    port_.clearError();
}

void TComPort::Write(const char* bytes, int count) {
    if (!port_.isOpen() || count <= 0) return;
    port_.write(bytes, count);
    port_.flush();
}

int TComPort::Read(char* buffer, int count) {
    if (!port_.isOpen() || count <= 0) return 0;
    const qint64 n = port_.read(buffer, count);
    return n > 0 ? static_cast<int>(n) : 0;
}

int TComPort::BytesAvailable() const {
    const qint64 n = port_.bytesAvailable();
    return n > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(n);
}

void TComPort::handleReadyRead() {
    const int n = BytesAvailable();
    if (n > 0) emit OnRxChar(n);
}

void TComPort::handleError(QSerialPort::SerialPortError error) {
    if (opening_ || !connected_ || lost_) return;
    ComErrors errors = toComErrors(error);
    if (errors == 0) return;
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError) {
        // The device is gone (unplugged, pty closed): the port would report the
        // same failure on every event. Stop using it; it stays "connected"
        // until Close, as nothing reopens it by itself.
        lost_ = true;
        errors |= ceDeviceLost;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (lost_ && port_.isOpen()) port_.close();
            },
            Qt::QueuedConnection);
    }
    emit OnError(errors);
}

}  // namespace ifb
