#include "SystemShell.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace ifb {
namespace {

SystemShell* g_installed = nullptr;

}  // namespace

void SystemShell::beep() {
    QApplication::beep();
}

void SystemShell::openUrl(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

void SystemShell::openDeviceManager() {
#ifdef Q_OS_WIN
    ShellExecuteW(nullptr, L"open", L"devmgmt.msc", L"", L"", SW_SHOWNORMAL);
#else
    const QString byId = QStringLiteral("/dev/serial/by-id");
    openUrl(QUrl::fromLocalFile(QDir(byId).exists() ? byId : QStringLiteral("/dev")));
#endif
}

Qt::KeyboardModifiers SystemShell::keyboardModifiers() const {
    return QGuiApplication::queryKeyboardModifiers();
}

SystemShell& systemShell() {
    static SystemShell desktop;
    return g_installed ? *g_installed : desktop;
}

void setSystemShell(SystemShell* shell) {
    g_installed = shell;
}

}  // namespace ifb
