#pragma once

#include <QString>
#include <cstdio>

#include "LogPane.h"
#include "MessageBox.h"
#include "Operator.h"

namespace ifb {

// Answers to questions in batch mode: --yes answers every question with Yes,
// otherwise the terminal is asked; a closed input counts as No.
class ConsoleAnswers {
  public:
    ConsoleAnswers(bool assumeYes, FILE* in, FILE* out) : assumeYes_(assumeYes), in_(in), out_(out) {}
    // Prints the question and returns the answer.
    bool ask(const QString& question);

  private:
    bool assumeYes_;
    FILE* in_;
    FILE* out_;
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

// Log lines in batch mode: one per line on stdout, as the log pane would show them.
class ConsoleLogPane final : public LogPane {
  public:
    explicit ConsoleLogPane(FILE* out) : out_(out) {}
    int lineCount() const override { return lines_; }
    void clear() override { lines_ = 0; }
    void appendLine(const QString& text) override;

  private:
    FILE* out_;
    int lines_ = 0;
};

// The operator in batch mode. The port comes from the settings (or --port),
// the speed from --speed when given; the Wi-Fi join is confirmed on the
// terminal; the result is kept for the exit code.
class ConsoleOperator final : public Operator {
  public:
    struct Options {
        QString port;        // the port to open; empty: the configured one
        int speedItem = -1;  // port-dialog speed item; -1: the configured one
    };

    ConsoleOperator(Options options, ConsoleAnswers& answers, FILE* log, FILE* messages);

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
    bool progressOpen() const override { return progressOpen_; }
    void closeProgress() override { progressOpen_ = false; }
    bool confirmJoin(const JoinInstruction& instruction) override;
    void showWriteResult(int outcome) override;
    std::optional<QString> runEspotaDialog(const QString& currentPath) override;

    bool closeRequested() const { return closeRequested_; }
    // The outcome code of the last write, -1 when none ran.
    int lastOutcome() const { return lastOutcome_; }

  private:
    void print(const QString& text);

    Options options_;
    ConsoleAnswers& answers_;
    ConsoleLogPane log_;
    FILE* messages_;
    bool progressOpen_ = false;
    bool closeRequested_ = false;
    int lastOutcome_ = -1;
};

}  // namespace ifb
