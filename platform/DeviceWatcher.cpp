#include "DeviceWatcher.h"

#include <QDir>
#include <QFileSystemWatcher>

#ifdef Q_OS_WIN
#include <windows.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#endif

namespace ifb {

#ifdef Q_OS_WIN
// WM_DEVICECHANGE with DBT_DEVNODES_CHANGED reaches every top-level window.
class DeviceWatcher::NativeFilter final : public QAbstractNativeEventFilter {
  public:
    explicit NativeFilter(DeviceWatcher* owner) : owner_(owner) {}
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type == "windows_generic_MSG") {
            const MSG* msg = static_cast<const MSG*>(message);
            if (msg->message == WM_DEVICECHANGE && msg->wParam == 7) owner_->settle_.start();
        }
        return false;
    }

  private:
    DeviceWatcher* owner_;
};
#endif

DeviceWatcher::DeviceWatcher(QObject* parent)
    : DeviceWatcher({QStringLiteral("/dev"), QStringLiteral("/dev/serial/by-id")}, parent) {}

DeviceWatcher::DeviceWatcher(const QStringList& folders, QObject* parent)
    : QObject(parent), folders_(folders) {
    settle_.setSingleShot(true);
    settle_.setInterval(300);
    connect(&settle_, &QTimer::timeout, this, &DeviceWatcher::devicesChanged);
#ifdef Q_OS_WIN
    native_ = new NativeFilter(this);
    QCoreApplication::instance()->installNativeEventFilter(native_);
#else
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &DeviceWatcher::onFolderChanged);
    watchFolders();
#endif
}

DeviceWatcher::~DeviceWatcher() {
#ifdef Q_OS_WIN
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(native_);
    delete native_;
#endif
}

void DeviceWatcher::onFolderChanged() {
    // /dev/serial/by-id comes and goes with the first and last USB serial adapter.
    watchFolders();
    settle_.start();
}

void DeviceWatcher::watchFolders() {
    if (!watcher_) return;
    for (const QString& folder : folders_) {
        if (QDir(folder).exists() && !watcher_->directories().contains(folder)) watcher_->addPath(folder);
    }
}

}  // namespace ifb
