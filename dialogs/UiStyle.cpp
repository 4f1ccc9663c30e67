#include "UiStyle.h"

#include <QApplication>
#include <QPalette>
#include <QScreen>
#include <QWidget>

namespace ifb {
namespace {

const QStringList& japaneseFallbacks() {
    static const QStringList families{QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP"),
                                      QStringLiteral("IPAexGothic"),      QStringLiteral("Meiryo UI"),
                                      QStringLiteral("Yu Gothic UI"),     QStringLiteral("MS UI Gothic")};
    return families;
}

}  // namespace

QFont UiFont() {
    QFont font = QApplication::font();
    QStringList families{font.family()};
    families += japaneseFallbacks();
    font.setFamilies(families);
    return font;
}

QFont TahomaPx(int pixelSize) {
    QFont font;
    font.setFamilies(QStringList{QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")} +
                     japaneseFallbacks());
    font.setPixelSize(pixelSize);
    return font;
}

QFont FixedWidthPx(int pixelSize) {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"),
                      QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("DejaVu Sans Mono")});
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(pixelSize);
    return font;
}

void ApplyUiFont(QWidget* form) {
    form->setFont(UiFont());
}

void CentreOnScreen(QWidget* window) {
    const QWidget* owner = window->parentWidget();
    QScreen* screen = owner ? owner->screen() : window->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

void SetColours(QWidget* widget, const QColor& text, const QColor& bg) {
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, text);
    pal.setColor(QPalette::Text, text);
    if (bg.isValid()) {
        pal.setColor(QPalette::Window, bg);
        pal.setColor(QPalette::Base, bg);
        widget->setAutoFillBackground(true);
    }
    widget->setPalette(pal);
}

}  // namespace ifb
