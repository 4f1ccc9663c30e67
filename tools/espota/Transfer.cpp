#include "Transfer.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#ifdef Q_OS_WIN
#include <winsock2.h>
using NativeSocket = SOCKET;
#else
#include <sys/socket.h>
using NativeSocket = int;
#endif

namespace ifb::espota {
namespace {

constexpr qint64 kChunkSize = 1024;
constexpr int kChunkTimeoutMs = 10000;  // nothing sent and nothing heard for this long: broken off
constexpr int kResultTimeoutMs = 30000;
constexpr int kErrorTextGraceMs = 2000;
constexpr int kBarWidth = 60;
constexpr qint64 kStreamBlock = 16 * 1024;
// A small kernel share keeps the dots close to what the board has taken.
constexpr int kStreamSendBuffer = 64 * 1024;

// What the board has said on the data connection so far.
struct BoardReply {
    bool ok = false;    // "OK" seen
    QString errorText;  // anything but byte counts and "OK"
};

BoardReply classify(const QByteArray& received) {
    BoardReply reply;
    if (received.contains("OK")) {
        reply.ok = true;
        return reply;
    }
    // Counts are plain digits, run together; a lone 'O' may be the first half of "OK".
    qsizetype first = 0;
    while (first < received.size() && received[first] >= '0' && received[first] <= '9') ++first;
    const QByteArray rest = received.mid(first);
    if (rest != "O") reply.errorText = QString::fromLatin1(rest).trimmed();
    return reply;
}

}  // namespace

Transfer::Transfer(QTcpSocket& socket, const QByteArray& image, Settings settings, EspotaLog& log)
    : socket_(socket), image_(image), settings_(settings), log_(log) {}

TransferResult Transfer::run() {
    if (settings_.progressBar)
        drawBar(0);
    else
        log_.progress(QStringLiteral("Uploading"));
    // What the kernel took, counted as it goes: a dropped connection may discard Qt's own buffer.
    const QMetaObject::Connection written =
        QObject::connect(&socket_, &QTcpSocket::bytesWritten, &socket_, [this](qint64 n) { handed_ += n; });
    // Answers are taken as they arrive: the board's last words are gone once the connection drops.
    const QMetaObject::Connection heard =
        QObject::connect(&socket_, &QTcpSocket::readyRead, &socket_, [this] { readAnswers(); });
    const QMetaObject::Connection broken = QObject::connect(
        &socket_, &QTcpSocket::errorOccurred, &socket_, [this] { drainKernel(); }, Qt::DirectConnection);
    answerLabel_ = settings_.stopAndWait ? "Chunk response" : "Answers";
    const Sent sent = settings_.stopAndWait ? sendStopAndWait() : sendStreaming();
    if (sent == Sent::Whole) finish();
    if (sent == Sent::Ok) result_.exitCode = 0;
    QObject::disconnect(written);
    QObject::disconnect(heard);
    QObject::disconnect(broken);
    if (result_.exitCode == 0) log_.info(QStringLiteral("Success"));
    return result_;
}

void Transfer::readAnswers() {
    if (socket_.isOpen()) take(socket_.readAll());
}

void Transfer::drainKernel() {
    // A board that rejects the image closes with our data unread, so its reset can
    // fail a write before the read side has seen the reason it sent first. Qt closes
    // the socket right after this signal; the reason is still in the kernel's queue.
    const auto fd = static_cast<NativeSocket>(socket_.socketDescriptor());
    if (socket_.socketDescriptor() == -1) return;
    readAnswers();
    QByteArray rest;
    char buffer[512];
    for (;;) {
        const auto n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        rest.append(buffer, static_cast<qsizetype>(n));
    }
    take(rest);
}

void Transfer::take(const QByteArray& data) {
    if (data.isEmpty()) return;
    log_.debug(QStringLiteral("%1: '%2'").arg(QLatin1String(answerLabel_), QString::fromLatin1(data)));
    received_ += data;
}

Transfer::Sent Transfer::verdictSoFar() {
    const BoardReply reply = classify(received_);
    if (reply.ok) {
        if (handed_ == image_.size()) return Sent::Ok;
        // A board cannot have checked an image it has not got.
        rejected(QStringLiteral("OK"));
        return Sent::Failed;
    }
    if (!reply.errorText.isEmpty()) {
        rejected(reply.errorText);
        return Sent::Failed;
    }
    return Sent::Whole;
}

Transfer::Sent Transfer::sendStopAndWait() {
    qint64 offset = 0;
    while (offset < image_.size()) {
        const qint64 length = std::min(kChunkSize, image_.size() - offset);
        QElapsedTimer clock;
        clock.start();
        const auto timeLeft = [&] {
            return static_cast<int>(std::max<qint64>(0, kChunkTimeoutMs - clock.elapsed()));
        };
        const qsizetype heard = received_.size();
        if (socket_.write(image_.constData() + offset, length) != length) return failByBoard();
        while (socket_.bytesToWrite() > 0) {
            if (!socket_.waitForBytesWritten(timeLeft())) {
                if (socket_.state() != QAbstractSocket::ConnectedState) return failByBoard();
                uploadError(QStringLiteral("timed out"));
                return Sent::Failed;
            }
        }
        offset += length;
        showProgress(offset);
        readAnswers();
        while (received_.size() == heard) {
            if (!socket_.waitForReadyRead(timeLeft())) {
                if (socket_.state() != QAbstractSocket::ConnectedState) return failByBoard();
                uploadError(QStringLiteral("timed out"));
                return Sent::Failed;
            }
            readAnswers();
        }
        const Sent verdict = verdictSoFar();
        if (verdict != Sent::Whole) return verdict;
    }
    return Sent::Whole;
}

Transfer::Sent Transfer::sendStreaming() {
    socket_.setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kStreamSendBuffer);
    qint64 queued = 0;
    qint64 shownHanded = -1;
    qsizetype heard = 0;
    QElapsedTimer idle;
    idle.start();
    for (;;) {
        const bool connected = socket_.state() == QAbstractSocket::ConnectedState;
        // Keep one block waiting behind what the kernel holds; TCP's window does the pacing.
        while (connected && queued < image_.size() && socket_.bytesToWrite() < kStreamBlock) {
            const qint64 length = std::min(kStreamBlock, image_.size() - queued);
            if (socket_.write(image_.constData() + queued, length) != length) return failByBoard();
            queued += length;
        }
        if (handed_ != shownHanded) {
            shownHanded = handed_;
            idle.restart();
            showProgress(handed_);
        }
        readAnswers();
        if (received_.size() != heard) {
            heard = received_.size();
            idle.restart();
        }
        const Sent verdict = verdictSoFar();
        if (verdict != Sent::Whole || handed_ == image_.size()) return verdict;
        if (!connected) return failByBoard();
        const qint64 left = kChunkTimeoutMs - idle.elapsed();
        if (left <= 0) {
            uploadError(QStringLiteral("timed out"));
            return Sent::Failed;
        }
        if (socket_.bytesToWrite() > 0)
            socket_.waitForBytesWritten(static_cast<int>(left));
        else
            socket_.waitForReadyRead(static_cast<int>(left));
    }
}

void Transfer::finish() {
    // The whole image is out; only the board's verdict is missing.
    if (settings_.stopAndWait) log_.endLine();
    log_.info(QStringLiteral("Waiting for result..."));
    answerLabel_ = "Result";
    readAnswers();
    QElapsedTimer clock;
    clock.start();
    BoardReply reply = classify(received_);
    while (!reply.ok && reply.errorText.isEmpty() && clock.elapsed() < kResultTimeoutMs) {
        if (!socket_.waitForReadyRead(static_cast<int>(kResultTimeoutMs - clock.elapsed())) &&
            socket_.state() != QAbstractSocket::ConnectedState)
            break;
        readAnswers();
        reply = classify(received_);
    }
    if (reply.ok) {
        result_.exitCode = 0;
        return;
    }
    if (!reply.errorText.isEmpty()) {
        rejected(reply.errorText);
        return;
    }
    if (socket_.state() != QAbstractSocket::ConnectedState) {
        silentClose(socket_.errorString());
        return;
    }
    log_.error(QStringLiteral("No response from device after upload completion"));
}

Transfer::Sent Transfer::failByBoard() {
    // A board that rejects the image says why before it closes: that is its verdict, not a broken link.
    const QString reason = socket_.errorString();
    readAnswers();
    const Sent verdict = verdictSoFar();
    if (verdict != Sent::Whole) return verdict;
    silentClose(reason);
    return Sent::Failed;
}

void Transfer::silentClose(const QString& reason) {
    // Gone without a verdict: the link broke, even when the kernel had taken the whole image
    // (what it had not yet delivered was lost with the connection).
    if (handed_ < image_.size()) {
        uploadError(reason);
        return;
    }
    result_.exitCode = 1;
    result_.networkFailure = true;
    result_.error = QStringLiteral("Error response from device");
    result_.sent = handed_;
}

void Transfer::uploadError(const QString& reason) {
    result_.exitCode = 1;
    result_.networkFailure = true;
    result_.error = QStringLiteral("Error Uploading: %1").arg(reason);
    result_.sent = handed_;
}

void Transfer::rejected(const QString& text) {
    // The board names its reason before it closes; let the whole text arrive.
    QElapsedTimer grace;
    grace.start();
    while (socket_.state() == QAbstractSocket::ConnectedState && grace.elapsed() < kErrorTextGraceMs &&
           socket_.waitForReadyRead(static_cast<int>(kErrorTextGraceMs - grace.elapsed())))
        readAnswers();
    const QString full = classify(received_).errorText;
    const QString shown = full.isEmpty() ? text : full;
    if (!shown.isEmpty()) log_.warning(QStringLiteral("Unexpected response from device: '%1'").arg(shown));
    log_.error(QStringLiteral("Error response from device"));
    result_.exitCode = 1;
}

void Transfer::showProgress(qint64 sent) {
    // One tick per chunk handed over, as a chunk-by-chunk sender draws them.
    for (;;) {
        const qint64 next = std::min(shown_ + kChunkSize, image_.size());
        if (next == shown_ || next > sent) return;
        shown_ = next;
        if (settings_.progressBar)
            drawBar(shown_);
        else
            log_.progress(QStringLiteral("."));
    }
}

void Transfer::drawBar(qint64 sent) {
    const qint64 size = image_.size();
    const int percent = size == 0 ? 100 : static_cast<int>(sent * 100 / size);
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    const int filled = size == 0 ? kBarWidth : static_cast<int>(sent * kBarWidth / size);
    const QString bar = QString(filled, QLatin1Char('=')) + QString(kBarWidth - filled, QLatin1Char(' '));
    if (percent >= 100)
        log_.progress(QStringLiteral("\rUploading: [%1] 100% Done...\r\n").arg(bar));
    else
        log_.progress(QStringLiteral("\rUploading: [%1] %2% ").arg(bar).arg(percent));
}

}  // namespace ifb::espota
