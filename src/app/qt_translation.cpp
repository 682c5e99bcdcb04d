#include "app/qt_translation.h"

#include <QLibraryInfo>
#include <QTranslator>

namespace yukt {

namespace {

// qtbase_ru leaves the OK button in Latin letters; the operator texts speak
// of the Cyrillic "ОК" ("нажмите кнопку ОК").
class CyrillicOk : public QTranslator {
  public:
    using QTranslator::QTranslator;
    QString translate(const char* context, const char* sourceText, const char*,
                      int) const override {
        if (qstrcmp(context, "QPlatformTheme") == 0 && qstrcmp(sourceText, "OK") == 0)
            return QStringLiteral("ОК");
        return QString();
    }
    bool isEmpty() const override { return false; }
};

}  // namespace

bool LoadQtRussian(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_ru"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    // The last one installed is asked first.
    return QCoreApplication::installTranslator(translator) &&
           QCoreApplication::installTranslator(new CyrillicOk(&app));
}

}  // namespace yukt
