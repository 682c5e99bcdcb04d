// The workstation's entry point.

#include <QApplication>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/main_form.h"
#include "app/operator_dialogs.h"
#include "app/qt_translation.h"
#include "app/single_copy.h"
#include "app/start_options.h"
#include "common/fatal.h"
#include "common/program_version.h"
#include "link/trace_log.h"
#include "records/db_credentials.h"
#include "records/program_ident.h"

int main(int argc, char* argv[]) {
    std::signal(SIGPIPE, SIG_IGN);  // a trace reader that goes away is a write error, not death
    if (yukt::PrintVersionIfAsked(argc, argv, "poverka")) return 0;
    // The workstation takes its database from poverka.ini; a password given on
    // the command line all the same must not stay there for ps, nor be passed
    // on to the restarted instance.
    yukt::records::HidePasswordsInArguments(argc, argv);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("poverka"));

    const yukt::StartOptions options = yukt::ParseStartOptions(
        QCoreApplication::arguments(), QCoreApplication::applicationDirPath());
    yukt::ScreenDialogs dialogs;
    if (!yukt::LoadQtRussian(app))
        std::fprintf(stderr, "poverka: qtbase_ru.qm not found, standard buttons stay English\n");

    // Taken before any file of the working directory is touched.
    QString busy;
    // A restarted instance is started by the copy before it, which ends
    // right after.
    const bool restarted =
        !options.Arguments.isEmpty() && options.Arguments[0] == QLatin1String("ZirokReInit");
    const auto workDirLock = yukt::LockWorkDir(options.ProgramDir, busy, restarted ? 15000 : 0);
    if (workDirLock == nullptr) {
        std::fprintf(stderr, "poverka: %s\n", qPrintable(busy));
        dialogs.MessageBox(busy, QStringLiteral("Внимание!"), yukt::DlgIcon::Warning,
                           yukt::DlgButtons::Ok);
        return 1;
    }

    // A fatal configuration error is shown to the operator before the program
    // ends, from whichever thread it comes. A worker thread hands the message
    // to the main thread; should that thread be blocked (waiting for this very
    // worker), the reason goes to stderr instead of hanging the program.
    yukt::SetFatalHandler([&dialogs, &app](const std::string& reason) {
        const QString text = QString::fromStdString(reason);
        std::fprintf(stderr, "poverka: %s\n", reason.c_str());
        if (QThread::currentThread() == app.thread()) {
            dialogs.MessageBox(text, QStringLiteral("Ошибка!"), yukt::DlgIcon::Error,
                               yukt::DlgButtons::Ok);
            return;
        }
        auto pickedUp = std::make_shared<QSemaphore>();
        auto shown = std::make_shared<QSemaphore>();
        QMetaObject::invokeMethod(
            &app,
            [&dialogs, text, pickedUp, shown] {
                pickedUp->release();
                dialogs.MessageBox(text, QStringLiteral("Ошибка!"), yukt::DlgIcon::Error,
                                   yukt::DlgButtons::Ok);
                shown->release();
            },
            Qt::QueuedConnection);
        if (pickedUp->tryAcquire(1, 5000)) shown->acquire();
    });

    // The restarted instance for the next module inherits the trace through
    // the environment and appends to the same file.
    if (!options.TraceFile.empty()) {
        ::setenv("YUKT_TRACE", options.TraceFile.c_str(), 1);
        if (!yukt::StartTrace(options.TraceFile))
            dialogs.MessageBox(QString::fromStdString(yukt::TraceError()),
                               QStringLiteral("Внимание!"), yukt::DlgIcon::Warning,
                               yukt::DlgButtons::Ok);
    }

    yukt::TMainForm::Services services;
    services.Dialogs = &dialogs;
    yukt::TMainForm form(options, services);
    dialogs.SetParent(&form);
    form.show();
    // Every record names the program by its checksum: reading the whole file
    // is done now, beside the operator's first steps, and not when the
    // first verification begins (the pool waits for it at exit).
    QThreadPool::globalInstance()->start([] { yukt::records::RunningProgram(); });
    return app.exec();
}
