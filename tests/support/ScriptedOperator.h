#pragma once

#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <vector>

#include "MemoryLogPane.h"
#include "Operator.h"

namespace ifb {
// Found by argument-dependent lookup: "2 (TimeOut)" in a failure, not raw bytes.
inline void PrintTo(UpdateOutcome outcome, std::ostream* os) {
    static const char* const names[] = {"Ok", "Aborted", "TimeOut", "ToolFailed"};
    const int code = static_cast<int>(outcome);
    *os << code << " (" << (code >= 0 && code < 4 ? names[code] : "?") << ')';
}
}  // namespace ifb

namespace ifb::test {

// The operator as a test script: answers from queues, records what was shown.
class ScriptedOperator final : public Operator {
  public:
    LogPane& logPane() override { return log; }
    void setStatusText(const QString& text) override { statusTexts.append(text); }
    void setMainWindowEnabled(bool enabled) override { mainWindowEnabled = enabled; }
    void setWriteCommandAvailable(bool available) override { writeCommandAvailable = available; }
    void showEspotaPath(const QString& path) override { espotaPathShown = path; }
    void showFirmwareVersion(const QString& text) override { firmwareVersionShown = text; }
    void requestClose() override { closeRequested = true; }

    PortDialogResult runPortDialog(const PortDialogSetup& setup) override {
        portDialogSetups.push_back(setup);
        PortDialogResult r;
        r.items = setup.items;
        r.selectedIndex = setup.selectedIndex;
        r.speedItem = setup.speedItem;
        r.parityItem = setup.parityItem;
        r.opened = portDialogOpens;
        if (portDialogEdit) portDialogEdit(r);
        return r;
    }

    void openProgress(const ProgressSetup& setup) override {
        progress.push_back(setup);
        progressIsOpen = true;
        if (onProgressOpened) onProgressOpened(setup);
    }
    void setProgressDots(const QString& dots) override {
        lastDots = dots;
        ++dotUpdates;
    }
    void showProgressReport(const ProgressReport& report) override { reports.push_back(report); }
    bool progressOpen() const override { return progressIsOpen; }
    void closeProgress() override { progressIsOpen = false; }

    bool confirmJoin(const JoinInstruction& instruction) override {
        joinInstructions.push_back(instruction);
        if (onJoinShown) onJoinShown();
        return joinAnswer;
    }
    void showWriteResult(const WriteResult& result) override {
        if (onWriteResult) onWriteResult(result.outcome);
        writeResults.push_back(result.outcome);
        results.push_back(result);
    }
    std::optional<QString> runEspotaDialog(const QString& currentPath) override {
        espotaDialogPaths.append(currentPath);
        if (espotaAnswers.empty()) return std::nullopt;
        // Copied out as a plain string: gcc 12 takes a copied optional<QString> for uninitialised.
        const bool given = espotaAnswers.front().has_value();
        const QString path = espotaAnswers.front().value_or(QString());
        espotaAnswers.pop_front();
        if (!given) return std::nullopt;
        return path;
    }

    // What the script answers.
    bool portDialogOpens = true;
    std::function<void(PortDialogResult&)> portDialogEdit;
    bool joinAnswer = true;
    std::function<void()> onJoinShown;
    std::function<void(const ProgressSetup&)> onProgressOpened;
    // Called as the result dialog opens, before it is recorded as shown.
    std::function<void(UpdateOutcome)> onWriteResult;
    std::deque<std::optional<QString>> espotaAnswers;

    // What was shown.
    MemoryLogPane log;
    QStringList statusTexts;
    bool mainWindowEnabled = true;
    bool writeCommandAvailable = true;
    QString espotaPathShown;
    QString firmwareVersionShown;
    bool closeRequested = false;
    std::vector<PortDialogSetup> portDialogSetups;
    std::vector<ProgressSetup> progress;
    bool progressIsOpen = false;
    QString lastDots;
    int dotUpdates = 0;
    std::vector<JoinInstruction> joinInstructions;
    std::vector<UpdateOutcome> writeResults;
    std::vector<WriteResult> results;
    std::vector<ProgressReport> reports;
    QStringList espotaDialogPaths;
};

}  // namespace ifb::test
