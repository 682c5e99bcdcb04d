#include "app/field_check.h"

#include <QLineEdit>

namespace yukt {

void CheckWhileTyping(QLineEdit* edit, FieldProblem problem) {
    const QString tooltip = edit->toolTip();
    auto check = [edit, problem, tooltip](const QString& text) {
        const QString p = problem(text.trimmed());
        edit->setStyleSheet(p.isEmpty() ? QString()
                                        : QStringLiteral("QLineEdit { background: #fde0e0; }"));
        edit->setToolTip(p.isEmpty() ? tooltip : p);
    };
    QObject::connect(edit, &QLineEdit::textChanged, edit, check);
    check(edit->text());
}

void CheckWhileTyping(QLineEdit* edit, records::RegistryField field) {
    CheckWhileTyping(edit, [field](const QString& text) {
        return text.isEmpty() ? QString() : records::RegistryFieldWords(field, text);
    });
}

}  // namespace yukt
