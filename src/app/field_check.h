// Marks a line edit while the operator types a value the registry would
// refuse: a tinted field and the rule as its tooltip. The dialogs' OK then
// refuses with the same text.
#pragma once

#include <QString>
#include <functional>

#include "records/registry_rules.h"

class QLineEdit;

namespace yukt {

using FieldProblem = std::function<QString(const QString& text)>;

void CheckWhileTyping(QLineEdit* edit, FieldProblem problem);
// A registry field, empty allowed (what must be filled is asked elsewhere).
void CheckWhileTyping(QLineEdit* edit, records::RegistryField field);

}  // namespace yukt
