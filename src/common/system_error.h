#pragma once
// The one place where a system error number becomes text for the operator:
// Russian, with the system's own English text in brackets where the error
// is not one of those named here.

#include <string>

namespace yukt {

// "нет доступа", "слишком много символических ссылок (петля?)", ...;
// "системная ошибка 71 (Protocol error)" for the rest.
std::string SystemErrorText(int errorNumber);

}  // namespace yukt
