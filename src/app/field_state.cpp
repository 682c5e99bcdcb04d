#include "app/field_state.h"

#include <QLineEdit>

namespace yukt {

void SetFieldState(QLineEdit* field, FieldState state) {
    QPalette pal = field->palette();
    switch (state) {
        case FieldState::Input:
            field->setReadOnly(false);
            pal.setColor(QPalette::Base, kInfoBackground);
            break;
        case FieldState::ReadOnly:
            field->setReadOnly(true);
            pal.setColor(QPalette::Base, kSilver);
            break;
        case FieldState::Editing:
            field->setReadOnly(false);
            pal.setColor(QPalette::Base, kLightBlue);
            break;
    }
    field->setPalette(pal);
}

FieldState FieldStateOf(const QLineEdit* field) {
    if (field->isReadOnly()) return FieldState::ReadOnly;
    return field->palette().color(QPalette::Base) == kLightBlue ? FieldState::Editing
                                                                : FieldState::Input;
}

}  // namespace yukt
