#include "common/system_error.h"

#include <cerrno>
#include <cstring>

namespace yukt {

std::string SystemErrorText(int e) {
    switch (e) {
        case ENOENT:
            return "нет такого файла или каталога";
        case ENOTDIR:
            return "путь не существует";
        case EACCES:
        case EPERM:
            return "нет доступа";
        case EISDIR:
            return "это каталог";
        case ELOOP:
            return "слишком много символических ссылок (ссылка на саму себя?)";
        case ENAMETOOLONG:
            return "слишком длинное имя";
        case EIO:
            return "ошибка ввода-вывода";
        case ENOSPC:
            return "нет места на диске";
        case EDQUOT:
            return "превышена квота диска";
        case EROFS:
            return "файловая система только для чтения";
        case EFBIG:
            return "файл слишком большой";
        case EPIPE:
            return "канал закрыт читающей стороной";
        case ENXIO:
        case ENODEV:
            return "устройство не найдено";
        case EBUSY:
            return "устройство занято";
        case EMFILE:
        case ENFILE:
            return "слишком много открытых файлов";
        case ENOMEM:
            return "не хватает памяти";
        case ECONNREFUSED:
            return "соединение отвергнуто";
        case ECONNRESET:
            return "соединение разорвано";
        case ETIMEDOUT:
            return "нет ответа";
        case EHOSTUNREACH:
        case ENETUNREACH:
            return "узел недоступен";
        default:
            // strerror_r's GNU form returns the text, not a status.
            char buf[128];
            const char* text = ::strerror_r(e, buf, sizeof buf);
            return "системная ошибка " + std::to_string(e) + " (" + text + ")";
    }
}

}  // namespace yukt
