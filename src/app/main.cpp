// The workstation's entry point.

#include <QApplication>
#include <QThread>

#include "app/main_form.h"
#include "app/operator_dialogs.h"
#include "app/start_options.h"
#include "common/fatal.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("poverka"));

    const yukt::StartOptions options =
        yukt::ParseStartOptions(QCoreApplication::arguments(), QCoreApplication::applicationDirPath());
    yukt::ScreenDialogs dialogs;

    // A fatal configuration error is shown to the operator before the program
    // ends, from whichever thread it comes.
    yukt::SetFatalHandler([&dialogs, &app](const std::string& reason) {
        auto show = [&dialogs, reason] {
            dialogs.MessageBox(QString::fromStdString(reason), QStringLiteral("Ошибка!"),
                               yukt::DlgIcon::Error, yukt::DlgButtons::Ok);
        };
        if (QThread::currentThread() == app.thread())
            show();
        else
            QMetaObject::invokeMethod(&app, show, Qt::BlockingQueuedConnection);
    });

    yukt::TMainForm::Services services;
    services.Dialogs = &dialogs;
    yukt::TMainForm form(options, services);
    form.show();
    return app.exec();
}
