#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

class QFileSystemWatcher;

namespace ifb {

// Tells when the set of devices changed: on Linux the /dev folder (and
// /dev/serial/by-id) is watched, on Windows the device-change message with
// "device tree changed". A burst of changes gives one notice once it settles,
// so the port list is read after the new device nodes exist.
class DeviceWatcher final : public QObject {
    Q_OBJECT
  public:
    explicit DeviceWatcher(QObject* parent = nullptr);
    // Watches the given folders (each while it exists) instead of the system's.
    DeviceWatcher(const QStringList& folders, QObject* parent);
    ~DeviceWatcher() override;

    // The quiet time before a burst of changes is reported (ms).
    void setSettleMs(int ms) { settle_.setInterval(ms); }
    // Reports a change at once, as if the system had sent one (tests, manual refresh).
    void notifyChanged() { emit devicesChanged(); }

  signals:
    void devicesChanged();

  private:
    void onFolderChanged();
    void watchFolders();

    QStringList folders_;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer settle_;
#ifdef Q_OS_WIN
    class NativeFilter;
    NativeFilter* native_ = nullptr;
#endif
};

}  // namespace ifb
