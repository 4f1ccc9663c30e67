#include "SimLog.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace ifb::sim {
namespace {

QByteArray json(const QJsonValue& value) {
    // QJsonDocument only takes arrays and objects: serialise [value] and strip the brackets.
    const QByteArray text = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return text.mid(1, text.size() - 2);
}

}  // namespace

SimLog::SimLog() {
    clock_.start();
}

bool SimLog::open(const QString& path, QString* error) {
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        *error = QStringLiteral("%1: %2").arg(path, file_.errorString());
        return false;
    }
    return true;
}

void SimLog::write(const QString& event, const LogFields& fields) {
    if (!file_.isOpen()) return;
    QByteArray line = "{\"t\":" + QByteArray::number(clock_.elapsed()) + ",\"event\":" + json(event);
    for (const auto& [key, value] : fields) line += ',' + json(key) + ':' + json(value);
    line += "}\n";
    file_.write(line);
    file_.flush();
}

}  // namespace ifb::sim
