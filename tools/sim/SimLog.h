#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QJsonValue>
#include <QString>
#include <utility>
#include <vector>

namespace ifb::sim {

using LogFields = std::vector<std::pair<QString, QJsonValue>>;

// One JSON object per line: {"t":<ms since start>,"event":<name>,<fields in order>}.
// Every line is flushed at once, because tests read the file while we run.
class SimLog {
  public:
    SimLog();
    bool open(const QString& path, QString* error);
    void write(const QString& event, const LogFields& fields = {});

  private:
    QFile file_;
    QElapsedTimer clock_;
};

}  // namespace ifb::sim
