#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <functional>
#include <optional>

#include "LogPane.h"
#include "MessageBox.h"
#include "Operator.h"

namespace ifb {

// Answers to questions in batch mode. --yes answers every question with Yes;
// otherwise the terminal is asked (y/n). Input that has ended, or an
// interrupt, answers No: a question the person cannot answer never goes on.
class ConsoleAnswers {
  public:
    // inFd: where answers are read from; out: where questions are printed.
    ConsoleAnswers(bool assumeYes, int inFd, FILE* out);

    // wakeFd becomes readable when the person interrupts (Ctrl+C); a question
    // waiting for input then returns at once. interrupted() tells whether that
    // happened; from then on every question is No, also with --yes.
    void setInterrupt(int wakeFd, std::function<bool()> interrupted);

    // Prints the question and returns the answer.
    bool ask(const QString& question);
    // Prints the prompt and reads one line; nothing when the input has ended
    // or an interrupt came.
    std::optional<QString> readLine(const QString& prompt);
    // The next question is answered Yes without waiting for input (printed
    // with the reason): used where the console must end a choice it cannot
    // offer, and Yes is the answer that ends it.
    void answerNextYes(const QString& why) { forcedYes_ = why; }

    bool assumeYes() const { return assumeYes_; }
    bool inputEnded() const { return inputEnded_; }
    bool interrupted() const { return interrupted_ && interrupted_(); }

    // The longest a question waits for input without looking for an
    // interrupt; events are handled all the while.
    static constexpr int kQuestionWakeIntervalMs = 100;

  private:
    // One line of input without its line end; nothing at the end of input or
    // on an interrupt.
    std::optional<QByteArray> readInputLine();
    // Handles events until input can be read; false on an interrupt.
    bool waitForInput();

    bool assumeYes_;
    int inFd_;
    FILE* out_;
    int wakeFd_ = -1;
    std::function<bool()> interrupted_;
    bool inputEnded_ = false;
    std::optional<QString> forcedYes_;
};

// Message boxes in batch mode: the text on stderr, Yes/No through ConsoleAnswers.
class ConsoleMessageBoxes final : public MessageBoxes {
  public:
    ConsoleMessageBoxes(ConsoleAnswers& answers, FILE* out) : answers_(answers), out_(out) {}
    MsgAnswer show(const MessageBoxRequest& request) override;

  private:
    ConsoleAnswers& answers_;
    FILE* out_;
};

// Log lines in batch mode: one per line on stdout, as the log pane would show
// them (the same lines reach it: the verbose class only in diagnostic mode).
class ConsoleLogPane final : public LogPane {
  public:
    explicit ConsoleLogPane(FILE* out) : out_(out) {}
    int lineCount() const override { return lines_; }
    // A terminal keeps what it printed; only the count starts again.
    void clear() override { lines_ = 0; }
    void appendLine(const QString& text) override;

  private:
    FILE* out_;
    int lines_ = 0;
};

// The operator in batch mode. The port is the one asked for (--port or the
// settings) and nothing else; the speed comes from --speed when given; the
// Wi-Fi join is confirmed on the terminal; the result is kept for the exit code.
class ConsoleOperator final : public Operator {
  public:
    struct Options {
        QString port;        // the port to open
        int speedItem = -1;  // port-dialog speed item; -1: the configured one
        // The messages go to a terminal: progress is one line updated in place
        // rather than a line per stage and per 10 %.
        bool messagesOnTerminal = false;
        // --auto-join: the PC joins the board's access point by itself first.
        bool autoJoin = false;
    };

    ConsoleOperator(Options options, ConsoleAnswers& answers, FILE* log, FILE* messages);

    void setPort(const QString& port) { options_.port = port; }

    LogPane& logPane() override { return log_; }
    // The phase banners reach the terminal with the progress dialogs.
    void setStatusText(const QString&) override {}
    void setMainWindowEnabled(bool) override {}
    void setWriteCommandAvailable(bool) override {}
    void showEspotaPath(const QString&) override {}
    void showFirmwareVersion(const QString&) override {}
    void requestClose() override { closeRequested_ = true; }
    PortDialogResult runPortDialog(const PortDialogSetup& setup) override;
    void openProgress(const ProgressSetup& setup) override;
    void setProgressDots(const QString&) override {}
    void showProgressReport(const ProgressReport& report) override;
    bool progressOpen() const override { return progressOpen_; }
    void closeProgress() override;
    bool confirmJoin(const JoinInstruction& instruction) override;
    void showWriteResult(const WriteResult& result) override;
    std::optional<QString> runEspotaDialog(const QString& currentPath) override;

    bool closeRequested() const { return closeRequested_; }
    // The port asked for was not among the present ports.
    bool portMissing() const { return portMissing_; }
    // The outcome of the last write, nothing when none ran.
    std::optional<UpdateOutcome> lastOutcome() const { return lastOutcome_; }
    // Before the next unit's update in station mode.
    void clearOutcome() { lastOutcome_.reset(); }

  private:
    // Ends an updated progress line first.
    void print(const QString& text);
    void endProgressLine();

    Options options_;
    ConsoleAnswers& answers_;
    ConsoleLogPane log_;
    FILE* messages_;
    bool progressOpen_ = false;
    bool closeRequested_ = false;
    bool portMissing_ = false;
    std::optional<UpdateOutcome> lastOutcome_;
    bool progressLineOpen_ = false;
    QString reportedStage_;
    int reportedTenth_ = -1;
};

}  // namespace ifb
