#pragma once

#include <QByteArray>
#include <QString>

#include "EspotaLog.h"

class QTcpSocket;

namespace ifb::espota {

// How one transfer ended. A network-level failure (the connection broke off or
// went quiet without the board's verdict) may be tried again; its error line
// is logged by the caller, only when no try is left.
struct TransferResult {
    int exitCode = 1;
    bool networkFailure = false;
    QString error;  // for a network-level failure
    qint64 sent = 0;
};

// The data connection of one upload: the image in 1024-byte chunks (each
// answered before the next with stopAndWait, else streamed with TCP's flow
// control pacing it), a "." per chunk or the -r bar, then the board's verdict.
// Only an "OK" after the whole image is success.
class Transfer {
  public:
    struct Settings {
        bool stopAndWait = false;
        bool progressBar = false;
    };
    Transfer(QTcpSocket& socket, const QByteArray& image, Settings settings, EspotaLog& log);
    TransferResult run();

  private:
    enum class Sent { Whole, Ok, Failed };

    Sent sendStopAndWait();
    Sent sendStreaming();
    // Ok or Failed once the board has answered for good; Whole while it has not.
    Sent verdictSoFar();
    Sent failByBoard();
    void finish();
    void readAnswers();
    void drainKernel();
    void take(const QByteArray& data);
    void showProgress(qint64 sent);
    void drawBar(qint64 sent);
    void uploadError(const QString& reason);
    void silentClose(const QString& reason);
    void rejected(const QString& text);

    QTcpSocket& socket_;
    const QByteArray& image_;
    Settings settings_;
    EspotaLog& log_;
    QByteArray received_;
    const char* answerLabel_ = "Answers";  // for the debug lines
    qint64 handed_ = 0;                    // bytes the kernel took
    qint64 shown_ = 0;                     // bytes whose progress was drawn
    int lastPercent_ = -1;
    TransferResult result_;
};

}  // namespace ifb::espota
