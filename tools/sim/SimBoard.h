#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "FrameCodec.h"
#include "OtaReceiver.h"
#include "SimCommands.h"
#include "SimConfig.h"
#include "SimOutbox.h"

namespace ifb::sim {

class SimLog;
class SimTransport;

// The simulated board on the serial link: cuts requests out of the byte
// stream, answers them (or not, as the fault knobs say), keeps its mode across
// restarts, goes quiet while it restarts, and runs OTA mode with its receiver.
class SimBoard : public QObject {
    Q_OBJECT
  public:
    SimBoard(const SimConfig& config, SimTransport& transport, SimLog& log, QObject* parent = nullptr);

    // What SetOtaMode does; also used to start in OTA mode.
    void enterOtaMode(quint8 mode, bool extra);

  signals:
    void hungUp();

  private:
    void onFrame(const quint8* bytes, int size);
    void onBadFrame(const quint8* bytes, int size);
    void reply(quint8 id, bool ack, const QByteArray& data);
    void apply(const Answer& answer);
    void restart();
    void leaveOtaMode();
    void onJoined();
    void onOtaFinished(bool ok, const QString& result, const QString& version);
    void sendChatter();
    void hangUpNow();

    SimConfig config_;
    SimTransport& transport_;
    SimLog& log_;
    BoardState board_;
    SimOutbox outbox_;
    FrameAssembler assembler_;
    OtaReceiver ota_;
    QTimer quietTimer_;
    QTimer joinTimer_;
    QElapsedTimer lineClock_;
    bool quiet_ = false;
    bool otaMode_ = false;
    bool hangingUp_ = false;
    QByteArray pendingRom_;
    quint8 lastId_ = 0;
    int requests_ = 0;
    int ignored_ = 0;
    int nacked_ = 0;
    int badSums_ = 0;
    int chatterIndex_ = 0;
};

}  // namespace ifb::sim
