#include "FileDrop.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace ifb {
namespace {

QStringList localFiles(const QMimeData* mime) {
    QStringList paths;
    if (!mime || !mime->hasUrls()) return paths;
    const QList<QUrl> urls = mime->urls();
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) paths.append(QDir::toNativeSeparators(url.toLocalFile()));
    }
    return paths;
}

}  // namespace

TFileDrop::TFileDrop(QWidget* target) : QObject(target), target_(target) {
    target->setAcceptDrops(true);
    target->installEventFilter(this);
}

bool TFileDrop::eventFilter(QObject* watched, QEvent* event) {
    if (watched != target_) return false;
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            if (localFiles(drag->mimeData()).isEmpty()) {
                drag->ignore();
            } else {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList paths = localFiles(drop->mimeData());
            if (paths.isEmpty()) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            emit filesDropped(paths);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace ifb
