#pragma once
// The window has a fixed size, and some texts are wider than the controls
// that show them: group captions that carry the module's designation, a
// frequency of 2000,00000 in a narrow field. Rather than clip or elide them,
// such a control shows its text in a narrower face of the window's font
// (Arial Narrow, on Debian its metric twin Liberation Sans Narrow) and, if
// that is not enough, in a smaller size of it.

#include <QFont>
#include <QString>

class QGroupBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace yukt {

// The smallest size the fitting goes down to.
inline constexpr double kMinFitPointSize = 5.5;

// `base` when the text fits in `width` pixels, else the narrow face at the
// base size or smaller; at worst the narrow face at kMinFitPointSize.
QFont FittingFont(const QFont& base, const QString& text, int width);

// Pixels the control has for its text.
int TextRoom(const QLineEdit* edit);
int TextRoom(const QGroupBox* group);
int TextRoom(const QLabel* label);

// Fits the control's current text (from its font before any fitting).
void FitText(QLineEdit* edit);
void FitText(QGroupBox* group);
void FitText(QLabel* label);

// Fits every field, single-line label and group caption under `root` now,
// and every field again whenever its text changes. Group captions change
// without a signal: FitText them after setTitle.
void KeepTextsFitting(QWidget* root);

}  // namespace yukt
