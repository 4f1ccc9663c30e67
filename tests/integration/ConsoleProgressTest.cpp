// Batch mode's progress and result on stderr, byte for byte.
#include <gtest/gtest.h>

#include <cstdio>

#include "ConsoleFrontEnd.h"
#include "QtPrinters.h"

using namespace ifb;

namespace {

QByteArray ReadBack(FILE* file) {
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, static_cast<qsizetype>(got));
    return bytes;
}

// A transfer from the tool's start to 100 %, then the board's check.
void ReportTransfer(ConsoleOperator& op) {
    op.openProgress(
        {ProgressKind::FirmwareWrite, QString(), QStringLiteral("------- WiFi OTA Mode ----------")});
    op.showProgressReport({QStringLiteral("書換ツール起動"), 0, QStringLiteral("0 / 20 KB")});
    for (int p : {0, 4, 9, 10, 15, 55, 100})
        op.showProgressReport({QStringLiteral("転送"), p, QStringLiteral("%1 KB").arg(p / 5)});
    op.showProgressReport({QStringLiteral("ボード検証"), 100, QString()});
    op.closeProgress();
    WriteResult result;
    result.outcome = UpdateOutcome::Aborted;
    result.ng = NgCode::B01;
    result.totalMs = 4260;
    op.showWriteResult(result);
}

}  // namespace

TEST(ConsoleProgress, ALinePerStageAndTenthUnlessOnATerminal) {
    const QByteArray result = QStringLiteral(
                                  "書き込み結果: NG\n"
                                  "ファームウェア書き込みを中止しました。\n"
                                  "ソフトを再起動し、もう一度書き込みを行ってください。\n"
                                  "NG-B01: ボードがファームウェアを受け付けませんでした。\n"
                                  "ソフトを再起動し、もう一度書き込んでください。\n"
                                  "所要時間: 4.3秒\n")
                                  .toUtf8();
    const struct {
        bool terminal;
        QByteArray expected;
    } cases[] = {
        {false, QStringLiteral("------- WiFi OTA Mode ----------\n"
                               "[書換ツール起動] 0% 0 / 20 KB\n"
                               "[転送] 0% 0 KB\n"
                               "[転送] 10% 2 KB\n"
                               "[転送] 55% 11 KB\n"
                               "[転送] 100% 20 KB\n"
                               "[ボード検証] 100%\n")
                        .toUtf8() +
                    result},
        {true, QStringLiteral("------- WiFi OTA Mode ----------\n"
                              "\r[書換ツール起動] 0% 0 / 20 KB\x1b[K\n"
                              "\r[転送] 0% 0 KB\x1b[K\r[転送] 4% 0 KB\x1b[K\r[転送] 9% 1 KB\x1b[K"
                              "\r[転送] 10% 2 KB\x1b[K\r[転送] 15% 3 KB\x1b[K\r[転送] 55% 11 KB\x1b[K"
                              "\r[転送] 100% 20 KB\x1b[K\n"
                              "\r[ボード検証] 100%\x1b[K\n")
                       .toUtf8() +
                   result},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.terminal ? "terminal" : "pipe");
        FILE* log = std::tmpfile();
        FILE* messages = std::tmpfile();
        ASSERT_TRUE(log && messages);
        ConsoleAnswers answers(true, -1, messages);
        ConsoleOperator op({QString(), -1, c.terminal}, answers, log, messages);
        ReportTransfer(op);
        EXPECT_EQ(ReadBack(messages), c.expected);
        EXPECT_EQ(ReadBack(log), QByteArray()) << "stdout carries only the log lines";
        std::fclose(log);
        std::fclose(messages);
    }
}
