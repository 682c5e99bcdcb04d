#pragma once
// Qt's own Russian texts (the standard buttons "Да", "Нет", "ОК", "Отмена"
// of the message boxes), from the translations Debian installs.

#include <QCoreApplication>

namespace yukt {

// False when the translation file is not installed (buttons stay English).
bool LoadQtRussian(QCoreApplication& app);

}  // namespace yukt
