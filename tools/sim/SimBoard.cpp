#include "SimBoard.h"

#include "SimLog.h"
#include "SimTransport.h"

namespace ifb::sim {
namespace {

constexpr char kNoticeCmd = 'D';
constexpr qint64 kIdleResetMs = 200;

OtaReceiver::Settings otaSettings(const SimConfig& config) {
    OtaReceiver::Settings settings;
    settings.host = config.otaHost;
    settings.port = config.otaPort;
    settings.password = config.otaPassword;
    settings.auth = config.otaAuth;
    settings.partitionSize = config.otaPartitionSize;
    settings.idleTimeoutMs = config.otaTimeoutMs;
    settings.corrupt = config.otaCorrupt;
    settings.answerDelayMs = config.otaRttMs;
    settings.flashBytesPerMs = config.otaFlashKBps;  // 1 kB/s is one byte per millisecond
    settings.ignoreInvitations = config.otaIgnoreInvitations;
    settings.noConnectBack = config.otaNoConnectBack;
    settings.closeAfter = config.otaCloseAfter;
    settings.closeUploads = config.otaCloseUploads;
    return settings;
}

QString hexText(const QByteArray& bytes) {
    return HexForm(bytes).trimmed();
}

}  // namespace

SimBoard::SimBoard(const SimConfig& config, SimTransport& transport, SimLog& log, QObject* parent)
    : QObject(parent),
      config_(config),
      transport_(transport),
      log_(log),
      outbox_(transport, {config.replyDelayMs, config.noise, config.split}, this),
      assembler_([this](const quint8* bytes, int size) { onFrame(bytes, size); },
                 [this](const quint8* bytes, int size) { onBadFrame(bytes, size); }),
      ota_(otaSettings(config), log, this) {
    board_.mode = config.mode;
    board_.model = config.model;
    board_.rom = config.rom;
    board_.targetId = config.targetId;
    board_.ssid = config.ssid;
    board_.password = config.password;
    board_.apSsid = config.apSsid;
    board_.otaAddress = config.otaHost.toIPv4Address();
    board_.otaPort = config.apPort.value_or(config.otaPort);
    board_.tcpPort = config.netTcpPort;
    board_.address = config.netAddress;
    board_.carried1 = config.netField1;
    board_.carried2 = config.netField2;

    lineClock_.start();
    connect(&transport_, &SimTransport::received, this, [this](const QByteArray& bytes) {
        // A frame left half-done by a pause is abandoned, so line noise cannot swallow
        // the next request for good.
        if (lineClock_.restart() > kIdleResetMs) assembler_.reset();
        for (char byte : bytes) assembler_.feed(static_cast<quint8>(byte));
    });
    quietTimer_.setSingleShot(true);
    connect(&quietTimer_, &QTimer::timeout, this, [this] {
        quiet_ = false;
        log_.write(QStringLiteral("ready"), {{QStringLiteral("rom"), QString::fromLatin1(board_.rom)}});
    });
    joinTimer_.setSingleShot(true);
    connect(&joinTimer_, &QTimer::timeout, this, &SimBoard::onJoined);
    connect(&ota_, &OtaReceiver::finished, this, &SimBoard::onOtaFinished);
}

void SimBoard::onFrame(const quint8* bytes, int size) {
    const QByteArray frame(reinterpret_cast<const char*>(bytes), size);
    const quint8 id = bytes[1];
    const quint8 command = bytes[2];
    const QByteArray data = frame.mid(4, bytes[3]);
    ++requests_;
    LogFields fields{{QStringLiteral("hex"), hexText(frame)},
                     {QStringLiteral("cmd"), CommandName(command, data)}};
    const auto ignore = [&](const char* why) {
        fields.emplace_back(QStringLiteral("ignored"), QString::fromLatin1(why));
        log_.write(QStringLiteral("rx"), fields);
    };

    if (hangingUp_) {
        ignore("hangup");
        return;
    }
    if (quiet_) {
        ignore("restart");
    } else if (config_.silent) {
        ignore("silent");
    } else if (ignored_ < config_.ignoreFirst) {
        ++ignored_;
        ignore("ignore-first");
    } else {
        log_.write(QStringLiteral("rx"), fields);
        lastId_ = id;
        if (nacked_ < config_.nackFirst) {
            ++nacked_;
            reply(id, false, QByteArray(1, static_cast<char>(config_.nackReason)));
            sendChatter();
        } else {
            const Answer answer = AnswerRequest(board_, command, data);
            reply(id, answer.ack, answer.data);
            apply(answer);
            if (answer.effect != Answer::Effect::Restart) sendChatter();
        }
    }
    if (config_.hangupAfter >= 0 && requests_ >= config_.hangupAfter) {
        hangingUp_ = true;
        outbox_.whenDrained([this] { hangUpNow(); });
    }
}

void SimBoard::onBadFrame(const quint8* bytes, int size) {
    const QByteArray frame(reinterpret_cast<const char*>(bytes), size);
    log_.write(QStringLiteral("rx_bad"), {{QStringLiteral("hex"), hexText(frame)}});
    if (quiet_ || config_.silent || hangingUp_) return;
    reply(bytes[1], false, QByteArray(1, static_cast<char>(nack::kSum)));
}

void SimBoard::reply(quint8 id, bool ack, const QByteArray& data) {
    QByteArray frame = BuildFrame(id, ack ? frame::kCmdAck : frame::kCmdNack, data);
    LogFields fields{{QStringLiteral("hex"), hexText(frame)},
                     {QStringLiteral("kind"), ack ? QStringLiteral("ack") : QStringLiteral("nack")}};
    if (badSums_ < config_.badSumFirst) {
        ++badSums_;
        const qsizetype sumAt = frame.size() - 2;
        frame[sumAt] = static_cast<char>(static_cast<quint8>(frame[sumAt]) + 1);
        fields[0].second = hexText(frame);
        fields.emplace_back(QStringLiteral("fault"), QStringLiteral("bad-sum"));
    }
    log_.write(QStringLiteral("tx"), fields);
    outbox_.sendReply(frame);
}

void SimBoard::apply(const Answer& answer) {
    switch (answer.effect) {
        case Answer::Effect::None:
            break;
        case Answer::Effect::SetMode:
            if (config_.keepMode) break;
            log_.write(QStringLiteral("mode_change"),
                       {{QStringLiteral("from"), board_.mode}, {QStringLiteral("to"), answer.newMode}});
            board_.mode = answer.newMode;
            break;
        case Answer::Effect::Restart:
            restart();
            break;
        case Answer::Effect::OtaMode:
            enterOtaMode(answer.otaMode, answer.otaExtra);
            break;
    }
}

void SimBoard::restart() {
    leaveOtaMode();
    // A new image is checked before it runs: its boot may take longer.
    const bool intoNewImage = !pendingRom_.isEmpty();
    const int quietMs = intoNewImage && config_.updateBootMs >= 0 ? config_.updateBootMs : config_.restartMs;
    if (intoNewImage) board_.rom = pendingRom_;  // the new firmware runs from now on
    pendingRom_.clear();
    quiet_ = true;
    log_.write(QStringLiteral("restart"), {{QStringLiteral("quiet_ms"), quietMs},
                                           {QStringLiteral("mode"), board_.mode},
                                           {QStringLiteral("rom"), QString::fromLatin1(board_.rom)}});
    quietTimer_.start(quietMs);
}

void SimBoard::enterOtaMode(quint8 mode, bool extra) {
    log_.write(QStringLiteral("ota_mode"),
               {{QStringLiteral("mode"), mode}, {QStringLiteral("extra"), extra}});
    if (mode != 2) {
        leaveOtaMode();
        return;
    }
    if (otaMode_) return;
    otaMode_ = true;
    board_.apJoined = false;
    if (!config_.neverJoin) joinTimer_.start(config_.apJoinMs);
}

void SimBoard::leaveOtaMode() {
    otaMode_ = false;
    board_.apJoined = false;
    joinTimer_.stop();
    ota_.stop();
}

void SimBoard::onJoined() {
    if (!otaMode_) return;
    board_.apJoined = true;
    QString error;
    const bool listening = ota_.start(&error);
    LogFields fields{{QStringLiteral("ota_host"), config_.otaHost.toString()},
                     {QStringLiteral("ota_port"), config_.otaPort},
                     {QStringLiteral("listening"), listening}};
    if (!listening) fields.emplace_back(QStringLiteral("error"), error);
    log_.write(QStringLiteral("join"), fields);
}

void SimBoard::onOtaFinished(bool ok, const QString& result, const QString& version) {
    QByteArray notice;
    switch (config_.otaResult) {
        case OtaResult::Verdict:
            notice = ok ? "OK" : "BR";
            break;
        case OtaResult::ForceBr:
            notice = "BR";
            break;
        case OtaResult::NoNotice:
            break;
    }
    if (ok && notice != "BR" && !version.isEmpty())
        pendingRom_ = config_.romAfterUpdate.isEmpty() ? version.toLatin1() : config_.romAfterUpdate;
    if (notice.isEmpty() || hangingUp_) return;
    const QByteArray frame = BuildFrame(lastId_, kNoticeCmd, notice);
    log_.write(QStringLiteral("notice"), {{QStringLiteral("kind"), QStringLiteral("D")},
                                          {QStringLiteral("text"), QString::fromLatin1(notice)},
                                          {QStringLiteral("result"), result},
                                          {QStringLiteral("hex"), hexText(frame)}});
    outbox_.sendNotice(frame);
}

void SimBoard::sendChatter() {
    if (!config_.chatter) return;
    char kind = 0;
    const QByteArray frame = ChatterNotice(chatterIndex_++, lastId_, &kind);
    log_.write(QStringLiteral("notice"), {{QStringLiteral("kind"), QString(QLatin1Char(kind))},
                                          {QStringLiteral("hex"), hexText(frame)}});
    outbox_.sendNotice(frame);
}

void SimBoard::hangUpNow() {
    log_.write(QStringLiteral("hangup"), {{QStringLiteral("requests"), requests_}});
    leaveOtaMode();
    transport_.hangUp();
    emit hungUp();
}

}  // namespace ifb::sim
