#pragma once

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

namespace ifb::test {

// A pseudo-terminal: the link opens the slave by its path, the test talks
// through the master. The test keeps its own slave descriptor open so that
// the master never sees a hang-up while the link closes and reopens.
class PtyPair {
  public:
    PtyPair() {
        char name[128] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            master_ = slave_ = -1;
            return;
        }
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        path_ = QString::fromLocal8Bit(name);
    }
    ~PtyPair() {
        closeMaster();
        if (slave_ >= 0) ::close(slave_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0; }
    const QString& path() const { return path_; }
    int master() const { return master_; }
    int slave() const { return slave_; }

    // Writes everything, handling events while the pty is full.
    void write(const QByteArray& bytes) {
        qsizetype done = 0;
        QElapsedTimer t;
        t.start();
        while (done < bytes.size() && t.elapsed() < 10000) {
            const ssize_t n =
                ::write(master_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
            if (n > 0) {
                done += n;
            } else {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            }
        }
    }
    QByteArray readAvailable() {
        QByteArray out;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, static_cast<qsizetype>(n));
        }
        return out;
    }
    // Bytes written by the board that the link has not read from the device yet.
    int pendingForLink() const {
        int n = 0;
        if (slave_ < 0 || ::ioctl(slave_, FIONREAD, &n) != 0) return 0;
        return n;
    }
    void closeMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    void closeSlave() {
        if (slave_ >= 0) ::close(slave_);
        slave_ = -1;
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    QString path_;
};

}  // namespace ifb::test
