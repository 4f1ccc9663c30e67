#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QList>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>

#include "SystemShell.h"

namespace ifb::test {

// Records what the dialogs ask of the desktop; nothing is opened or played.
class RecordingShell final : public SystemShell {
  public:
    RecordingShell() { setSystemShell(this); }
    ~RecordingShell() override { setSystemShell(nullptr); }

    void beep() override { ++beeps; }
    void openUrl(const QUrl& url) override { urls.append(url); }
    void openDeviceManager() override { ++deviceManagerOpens; }
    Qt::KeyboardModifiers keyboardModifiers() const override { return modifiers; }

    int beeps = 0;
    QList<QUrl> urls;
    int deviceManagerOpens = 0;
    Qt::KeyboardModifiers modifiers;
};

// The named child widget or action, failing the test when it is missing.
template <typename W>
W* child(QObject* parent, const char* name) {
    W* w = parent->findChild<W*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

// Runs action on the modal dialog of type T as soon as it is up. A dialog
// that never appears fails the test instead of hanging it.
template <typename T>
void WhenModal(std::function<void(T*)> action) {
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, action, clock] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<T*>(modal)) {
            timer->stop();
            timer->deleteLater();
            action(dialog);
        } else if (clock->elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "the expected modal dialog did not appear";
            if (auto* other = qobject_cast<QDialog*>(modal)) other->reject();
        }
    });
    timer->start(5);
}

// Where key presses go: the focused control, else the dialog itself.
inline QWidget* KeyTarget(QWidget* dialog) {
    QWidget* focus = dialog->focusWidget();
    return focus ? focus : dialog;
}

// Dialogs that exist right now, owned or not.
inline int LiveDialogs() {
    int n = 0;
    for (QWidget* w : QApplication::allWidgets())
        if (qobject_cast<QDialog*>(w)) ++n;
    return n;
}

}  // namespace ifb::test
