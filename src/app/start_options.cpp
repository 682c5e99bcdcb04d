#include "app/start_options.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace yukt {

namespace {

const QString kWorkDirOption = QStringLiteral("--workdir");
const QString kTraceOption = QStringLiteral("--trace");

std::string withSlash(QString dir) {
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    return dir.toStdString();
}

bool writableDir(const QString& dir) {
    return QFileInfo(dir).isDir() && ::access(QFile::encodeName(dir).constData(), W_OK) == 0;
}

}  // namespace

std::string PerUserWorkDir() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (dir.isEmpty()) dir = QDir::homePath() + QStringLiteral("/.poverka");
    QDir().mkpath(dir);
    return withSlash(dir);
}

QString WorkDirArgument(const std::string& dir) {
    return kWorkDirOption + QLatin1Char('=') + QString::fromStdString(dir);
}

StartOptions ParseStartOptions(const QStringList& arguments, const QString& programFileDir) {
    StartOptions o;
    QString chosen;
    bool perUser = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == kWorkDirOption)
            perUser = true;
        else if (a == kTraceOption && i + 1 < arguments.size())
            o.TraceFile = arguments[++i].toStdString();
        else if (a.startsWith(kTraceOption + QLatin1Char('=')))
            o.TraceFile = a.mid(kTraceOption.size() + 1).toStdString();
        else if (a.startsWith(kWorkDirOption + QLatin1Char('=')))
            chosen = a.mid(kWorkDirOption.size() + 1);
        else
            o.Arguments << a;
    }
    if (!chosen.isEmpty()) {
        QDir().mkpath(chosen);
        o.ProgramDir = withSlash(QFileInfo(chosen).absoluteFilePath());
        o.WorkDirOption = true;
    } else if (perUser || !writableDir(programFileDir)) {
        o.ProgramDir = PerUserWorkDir();
        o.WorkDirOption = true;
    } else {
        o.ProgramDir = withSlash(programFileDir);
    }
    return o;
}

}  // namespace yukt
