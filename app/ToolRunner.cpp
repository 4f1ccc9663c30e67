#include "ToolRunner.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <utility>

#include "ChildProcess.h"
#include "DeveloperLog.h"
#include "EventWait.h"
#include "GuardMessages.h"
#include "LogPane.h"
#include "LogSink.h"
#include "MessageBox.h"
#include "Operator.h"

namespace ifb {

namespace {

// Three characters wide each: U+30FB dots on U+3000 blanks.
const char16_t* const kDotTexts[5] = {u"\u30FB\u3000\u3000", u"\u30FB\u30FB\u3000", u"\u30FB\u30FB\u30FB",
                                      u"\u3000\u30FB\u30FB", u"\u3000\u3000\u30FB"};

}  // namespace

quint32 HungToolLimitMs(quint32 minimumMs, qint64 progWaitTimeMs) {
    const qint64 limit = qMax(static_cast<qint64>(minimumMs), progWaitTimeMs);
    return static_cast<quint32>(qMin(limit, static_cast<qint64>(0xFFFFFFFFu)));
}

ToolRunner::ToolRunner(Operator& op, LogSink& log, std::function<bool()> checkWiFiAdapter, bool& toolOutputOk)
    : op_(op), log_(log), checkWiFiAdapter_(std::move(checkWiFiAdapter)), toolOutputOk_(toolOutputOk) {}

void ToolRunner::animateDots() {
    if (op_.progressOpen()) {
        op_.setProgressDots(QString::fromUtf16(kDotTexts[dotPhase_ / 2]));
        dotPhase_ = (dotPhase_ + 1) % 10;
    }
    ProcessPendingEvents();
}

bool ToolRunner::RunCommand(const ToolCommand& command, LogPane* memo, QStringList& chunks) {
    ChildProcess child;
    if (!interpreter_.isEmpty()) child.setInterpreter(interpreter_);
#ifndef Q_OS_WIN
    // The shell would only say "Permission denied" and the run would go on to
    // wait for a verdict that cannot come.
    const QFileInfo executable(command.executable);
    const bool cannotRun = !command.executable.isEmpty() && executable.isFile() && !executable.isExecutable();
    if (cannotRun) log_.WriteLog(guard_messages::ToolNotExecutable(command.executable), true);
#else
    const bool cannotRun = false;
#endif
    // The program only: the arguments hold the OTA password.
    qCDebug(lcTool).noquote() << "start" << (command.words.isEmpty() ? QString() : command.words.first());
    started_ = !cannotRun && child.start(command.words, command.windowsCommand);
    if (!started_) {
        qCDebug(lcTool) << "not started";
        showMessage(QStringLiteral("プロセスの作成に失敗しました"), QStringLiteral("エラー"), MsgIcon::None,
                    MsgButtons::Ok, MsgOwner::None);
        return false;
    }

    dotPhase_ = 0;
    // Stateful, so that a character split between two reads is not mangled.
    QStringDecoder decoder(QStringDecoder::System);
    char buffer[kChunkBytes];
    for (;;) {
        if (abortRequested_ && abortRequested_()) {
            qCDebug(lcTool) << "stopped on request, pid" << child.processId();
            child.stop();
            return true;
        }
        // Output already buffered is read at once; otherwise wait for the next
        // event: output, the child's end, or anything else (the link timer).
        if (!child.ended() && child.bytesAvailable() == 0) child.waitForActivity(kToolWakeIntervalMs);

        const qint64 available = child.bytesAvailable();
        if (available > 0) {
            // Never leave a single byte behind a full chunk: it would be taken
            // for a stray one below and lost.
            qint64 want = qMin(available, kChunkBytes);
            if (available - want == 1) --want;
            const qint64 got = child.read(buffer, want);
            qCDebug(lcTool) << "read" << got << "of" << available << "bytes";
            if (got < 0) return false;  // the child stops with `child`
            const QString text = decoder.decode(QByteArrayView(buffer, got));
            if (observer_) observer_(text);
            // A lone byte (a stray line feed) is neither shown nor judged.
            if (got >= 2) {
                chunks.append(text);
                if (memo) {
                    memo->appendLine(text);
                    if (text.contains(QStringLiteral("Error"))) toolOutputOk_ = false;
                    if (text.contains(QStringLiteral("ERROR"))) {
                        toolOutputOk_ = false;
                        if (!checkWiFiAdapter_()) {
                            log_.WriteLog(QStringLiteral("PC側IPアドレスの自動割付に失敗しました。"), true);
                            log_.WriteLog(QStringLiteral("PCのセキュリティ設定などを確認してください。"),
                                          true);
                            log_.WriteLog(QString(), true);
                            child.stop();
                            return false;
                        }
                    }
                }
            }
        }

        animateDots();
        if (child.ended() && child.bytesAvailable() == 0) break;
    }
    qCDebug(lcTool) << "ended";
    return true;
}

}  // namespace ifb
