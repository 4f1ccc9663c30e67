#pragma once

#include <QColor>
#include <QFont>

class QWidget;

namespace ifb {

// Fonts and colours the forms share. Family lists fall back to a Japanese
// font where the Windows font (Tahoma, ＭＳ ゴシック) is missing.
QFont UiFont();
QFont TahomaPx(int pixelSize);
QFont FixedWidthPx(int pixelSize);

// The ordinary font for a top-level form (fonts do not pass from a window to
// the dialogs it owns).
void ApplyUiFont(QWidget* form);
// Moves a window to the middle of the screen it is on (its owner's screen, else the primary one).
void CentreOnScreen(QWidget* window);
// Text colour and, when bg is valid, a filled background.
void SetColours(QWidget* widget, const QColor& text, const QColor& bg = QColor());

inline const QColor kCream{255, 251, 240};
inline const QColor kNavy{0, 0, 128};
inline const QColor kSkyBlue{166, 202, 240};
inline const QColor kBlue{0, 0, 255};
inline const QColor kRed{255, 0, 0};

}  // namespace ifb
