#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace ifb::test {

// A file's bytes, or none when it cannot be read.
inline QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace ifb::test
