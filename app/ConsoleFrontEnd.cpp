#include "ConsoleFrontEnd.h"

#include <QByteArray>

#include "SerialPortList.h"

namespace ifb {
namespace {

void writeLine(FILE* out, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out);
    std::fputc('\n', out);
    std::fflush(out);
}

}  // namespace

bool ConsoleAnswers::ask(const QString& question) {
    writeLine(out_, question + QStringLiteral(" [y/n]"));
    if (assumeYes_) {
        writeLine(out_, QStringLiteral("y"));
        return true;
    }
    char line[64];
    while (std::fgets(line, sizeof line, in_)) {
        if (line[0] == 'y' || line[0] == 'Y') return true;
        if (line[0] == 'n' || line[0] == 'N') return false;
        writeLine(out_, QStringLiteral("y/n?"));
    }
    return false;  // the terminal closed its input
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
    writeLine(messages_, text);
}

PortDialogResult ConsoleOperator::runPortDialog(const PortDialogSetup& setup) {
    PortDialogResult result;
    result.items = setup.items;
    result.selectedIndex = setup.selectedIndex;
    result.speedItem = options_.speedItem >= 0 ? options_.speedItem : setup.speedItem;
    result.parityItem = setup.parityItem;
    // Batch mode never falls back to another port than the one asked for.
    const QString wanted = options_.port;
    const bool found =
        result.selectedIndex >= 0 && result.selectedIndex < setup.items.size() &&
        (wanted.isEmpty() || TEnumCom::PortNameOfItem(setup.items[result.selectedIndex]) == wanted);
    if (!found) {
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
    return answers_.ask(instruction.message2);
}

void ConsoleOperator::showWriteResult(int outcome) {
    lastOutcome_ = outcome;
    print(QStringLiteral("書き込み結果: %1").arg(outcome == 0 ? QStringLiteral("OK") : QStringLiteral("NG")));
}

std::optional<QString> ConsoleOperator::runEspotaDialog(const QString& currentPath) {
    print(QStringLiteral("espota not found: %1 (set App_ESPOta in the settings file)").arg(currentPath));
    return std::nullopt;
}

}  // namespace ifb
