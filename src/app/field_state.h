#pragma once
// The colour states of the edit fields: a field the operator may type into
// has the info background, a read-only result field is silver, a field being
// edited turns light blue until Enter or leaving it.

#include <QColor>

class QLineEdit;

namespace yukt {

enum class FieldState { Input, ReadOnly, Editing };

inline const QColor kInfoBackground{0xFF, 0xFF, 0xE1};
inline const QColor kSilver{0xC0, 0xC0, 0xC0};
inline const QColor kLightBlue{0xA6, 0xCA, 0xF0};

void SetFieldState(QLineEdit* field, FieldState state);
// The state a field shows, read back from its colour and read-only flag.
FieldState FieldStateOf(const QLineEdit* field);

}  // namespace yukt
