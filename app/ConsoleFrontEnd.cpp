#include "ConsoleFrontEnd.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include "EventWait.h"
#include "ResultTexts.h"
#include "SerialPortList.h"
#include "WifiMessages.h"

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace ifb {
namespace {

// A line longer than this is no answer anyone typed.
constexpr qsizetype kMaxInputLine = 4096;

enum class Input { Ready, Woken, Waiting };

#ifndef Q_OS_WIN
// Whether a read of inFd would return at once (with a byte, the end or an
// error), or wakeFd says an interrupt came; never blocks.
Input InputState(int inFd, int wakeFd) {
    pollfd fds[2] = {{inFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const int ready = ::poll(fds, wakeFd >= 0 ? 2 : 1, 0);
    if (ready < 0) return errno == EINTR ? Input::Waiting : Input::Ready;  // the read reports the error
    if (wakeFd >= 0 && (fds[1].revents & POLLIN)) return Input::Woken;
    return fds[0].revents != 0 ? Input::Ready : Input::Waiting;
}
#else
// Whether a line can be read from inFd at once: a pipe holds bytes, a console
// has an Enter key waiting (its line is then complete). Anything else, and
// any error, is left to the read.
Input InputState(int inFd, int) {
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(inFd));
    if (handle == INVALID_HANDLE_VALUE) return Input::Ready;
    switch (::GetFileType(handle)) {
        case FILE_TYPE_PIPE: {
            DWORD available = 0;
            if (!::PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr)) return Input::Ready;
            return available > 0 ? Input::Ready : Input::Waiting;
        }
        case FILE_TYPE_CHAR: {
            INPUT_RECORD records[128];
            DWORD count = 0;
            if (!::PeekConsoleInputW(handle, records, 128, &count)) return Input::Ready;
            for (DWORD i = 0; i < count; ++i) {
                const KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
                if (records[i].EventType == KEY_EVENT && key.bKeyDown && key.uChar.UnicodeChar == L'\r')
                    return Input::Ready;
            }
            return Input::Waiting;
        }
        default:
            return Input::Ready;
    }
}
#endif

void writeLine(FILE* out, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    // A closed terminal must not stop the run before the board is put back,
    // so failed writes are not an error here.
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out);
    std::fputc('\n', out);
    std::fflush(out);
}

}  // namespace

ConsoleAnswers::ConsoleAnswers(bool assumeYes, int inFd, FILE* out)
    : assumeYes_(assumeYes), inFd_(inFd), out_(out) {}

void ConsoleAnswers::setInterrupt(int wakeFd, std::function<bool()> interrupted) {
    wakeFd_ = wakeFd;
    interrupted_ = std::move(interrupted);
}

std::optional<QByteArray> ConsoleAnswers::readInputLine() {
    if (inputEnded_) return std::nullopt;
    QByteArray line;
    for (;;) {
#ifndef Q_OS_WIN
        if (!waitForInput()) return std::nullopt;
        char c = 0;
        const ssize_t got = ::read(inFd_, &c, 1);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
#else
        // A console gives its line only whole, so only the first byte of a
        // line is waited for.
        if (line.isEmpty() && !waitForInput()) return std::nullopt;
        char c = 0;
        const int got = ::_read(inFd_, &c, 1);
#endif
        if (got <= 0) {
            inputEnded_ = true;
            break;
        }
        if (c == '\n') return line;
        if (line.size() < kMaxInputLine) line.append(c);
    }
    // The last line may lack its line end.
    if (!line.isEmpty()) return line;
    return std::nullopt;
}

bool ConsoleAnswers::waitForInput() {
    for (;;) {
        if (interrupted()) return false;
        switch (InputState(inFd_, wakeFd_)) {
            case Input::Ready:
                return true;
            case Input::Woken:
                // The wake byte stays in its pipe for the event loop to see.
                return false;
            case Input::Waiting:
                break;
        }
        // The event loop runs while the person reads the question: the link
        // keeps draining, timers keep their time.
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) {
            SleepWithoutEvents(kQuestionWakeIntervalMs);
            continue;
        }
#ifndef Q_OS_WIN
        QSocketNotifier input(inFd_, QSocketNotifier::Read);
#endif
        QTimer wake;
        wake.setSingleShot(true);
        wake.start(kQuestionWakeIntervalMs);
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

bool ConsoleAnswers::ask(const QString& question) {
    writeLine(out_, question + QStringLiteral(" [y/n]"));
    if (forcedYes_) {
        writeLine(out_, QStringLiteral("y (%1)").arg(*forcedYes_));
        forcedYes_.reset();
        return true;
    }
    if (interrupted()) {
        writeLine(out_, QStringLiteral("n (interrupted)"));
        return false;
    }
    if (assumeYes_) {
        writeLine(out_, QStringLiteral("y"));
        return true;
    }
    for (;;) {
        const std::optional<QByteArray> line = readInputLine();
        if (!line) {
            writeLine(out_,
                      interrupted() ? QStringLiteral("n (interrupted)") : QStringLiteral("n (no input)"));
            return false;
        }
        const QByteArray answer = line->trimmed();
        if (answer.startsWith('y') || answer.startsWith('Y')) return true;
        if (answer.startsWith('n') || answer.startsWith('N')) return false;
        writeLine(out_, QStringLiteral("y/n?"));
    }
}

std::optional<QString> ConsoleAnswers::readLine(const QString& prompt) {
    writeLine(out_, prompt);
    const std::optional<QByteArray> line = readInputLine();
    if (!line) return std::nullopt;
    return QString::fromLocal8Bit(line->trimmed());
}

MsgAnswer ConsoleMessageBoxes::show(const MessageBoxRequest& request) {
    const QString caption = request.caption.value_or(QString());
    const QString text =
        caption.isEmpty() ? request.text : QStringLiteral("[%1] %2").arg(caption, request.text);
    if (request.buttons == MsgButtons::YesNo) return answers_.ask(text) ? MsgAnswer::Yes : MsgAnswer::No;
    writeLine(out_, text);
    return request.buttons == MsgButtons::Yes ? MsgAnswer::Yes : MsgAnswer::Ok;
}

void ConsoleLogPane::appendLine(const QString& text) {
    writeLine(out_, text);
    lines_ += static_cast<int>(text.count(QLatin1Char('\n'))) + 1;
}

ConsoleOperator::ConsoleOperator(Options options, ConsoleAnswers& answers, FILE* log, FILE* messages)
    : options_(std::move(options)), answers_(answers), log_(log), messages_(messages) {}

void ConsoleOperator::print(const QString& text) {
    endProgressLine();
    writeLine(messages_, text);
}

void ConsoleOperator::endProgressLine() {
    if (!progressLineOpen_) return;
    progressLineOpen_ = false;
    std::fputc('\n', messages_);
    std::fflush(messages_);
}

void ConsoleOperator::showProgressReport(const ProgressReport& report) {
    QString line = QStringLiteral("[%1]").arg(report.stage);
    if (report.percent >= 0) line += QStringLiteral(" %1%").arg(report.percent);
    if (!report.detail.isEmpty()) line += QLatin1Char(' ') + report.detail;
    const int tenth = report.percent >= 0 ? report.percent / 10 : -1;
    const bool newStage = report.stage != reportedStage_;
    if (options_.messagesOnTerminal) {
        if (newStage) endProgressLine();
        // Back to the line's start, the new text, the rest of the old one cleared.
        const QByteArray bytes = QByteArrayLiteral("\r") + line.toLocal8Bit() + QByteArrayLiteral("\x1b[K");
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), messages_);
        std::fflush(messages_);
        progressLineOpen_ = true;
    } else if (newStage || tenth != reportedTenth_) {
        writeLine(messages_, line);
    }
    reportedStage_ = report.stage;
    reportedTenth_ = tenth;
}

void ConsoleOperator::closeProgress() {
    progressOpen_ = false;
    endProgressLine();
    reportedStage_.clear();
    reportedTenth_ = -1;
}

PortDialogResult ConsoleOperator::runPortDialog(const PortDialogSetup& setup) {
    PortDialogResult result;
    result.items = setup.items;
    result.speedItem = options_.speedItem >= 0 ? options_.speedItem : setup.speedItem;
    result.parityItem = setup.parityItem;
    // The port asked for, under its own name or another name of the same
    // device; never the dialog's fallback to the first port.
    const QString& wanted = options_.port;
    if (!wanted.isEmpty()) {
        for (int i = 0; i < setup.items.size() && result.selectedIndex < 0; ++i) {
            if (TEnumCom::PortNameOfItem(setup.items[i]) == wanted) result.selectedIndex = i;
        }
        if (result.selectedIndex < 0) {
            const SystemPortList system = SystemPorts();
            const QString device = system.resolve(wanted);
            for (int i = 0; !device.isEmpty() && i < setup.items.size() && result.selectedIndex < 0; ++i) {
                if (system.resolve(TEnumCom::PortNameOfItem(setup.items[i])) == device)
                    result.selectedIndex = i;
            }
        }
    }
    if (result.selectedIndex < 0) {
        portMissing_ = true;
        print(QStringLiteral("Serial port not found: %1")
                  .arg(wanted.isEmpty() ? QStringLiteral("(none)") : wanted));
        return result;
    }
    print(QStringLiteral("Serial port: %1").arg(setup.items[result.selectedIndex]));
    result.opened = true;
    return result;
}

void ConsoleOperator::openProgress(const ProgressSetup& setup) {
    progressOpen_ = true;
    print(setup.banner);
}

bool ConsoleOperator::confirmJoin(const JoinInstruction& instruction) {
    print(instruction.message1);
    for (const QString& line : instruction.memoLines) print(line);
    // A failed join falls back to the manual way: the question as ever.
    if (options_.autoJoin || instruction.joinAtOnce) {
        if (!instruction.autoJoin) {
            print(wifi_messages::JoinFailed(instruction.autoJoinMissing));
        } else {
            print(instruction.joiningText);
            const AutoJoinResult joined = instruction.autoJoin([this] { return answers_.interrupted(); });
            print(joined.text);
            if (joined.joined) return true;
        }
    }
    return answers_.ask(instruction.message2);
}

void ConsoleOperator::showWriteResult(const WriteResult& result) {
    lastOutcome_ = result.outcome;
    print(QStringLiteral("書き込み結果: %1").arg(ResultVerdict(result.outcome)));
    const QString text = ResultExplanation(result.outcome) + QLatin1Char('\n') + ResultDiagnosis(result);
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) print(line);
}

std::optional<QString> ConsoleOperator::runEspotaDialog(const QString& currentPath) {
    print(QStringLiteral("Upload tool not found: %1 (set App_ESPOta in the settings file)")
              .arg(currentPath.isEmpty() ? QStringLiteral("(none)") : currentPath));
    if (!answers_.assumeYes() && !answers_.inputEnded() && !answers_.interrupted()) {
        if (std::optional<QString> path =
                answers_.readLine(QStringLiteral("Path of the upload tool (espota), empty to cancel:"))) {
            if (path->isEmpty()) return std::nullopt;  // cancelled: the give-up question follows
            return path;
        }
    }
    // Nobody can choose here: the give-up question that follows must end the
    // choice, or it would come back for ever.
    answers_.answerNextYes(answers_.interrupted() ? QStringLiteral("interrupted")
                           : answers_.assumeYes() ? QStringLiteral("--yes: no tool to choose")
                                                  : QStringLiteral("no input"));
    return std::nullopt;
}

}  // namespace ifb
