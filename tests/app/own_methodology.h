#pragma once
// The operator's own methodology of a model: the shipped one with some of
// its text replaced, in the methodologies folder under `home`, which becomes
// the workstation's data folder (XDG_DATA_HOME).

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <utility>

#include "verify/procedure_library.h"

namespace yukt::testing {

inline bool WriteOwnMethodology(const QString& home, const QString& model,
                                const QList<std::pair<QString, QString>>& replaced) {
    qputenv("XDG_DATA_HOME", home.toUtf8());
    QFile shipped(QString::fromStdString(verify::ShippedMethodologyDir()) + "/" + model + ".toml");
    const QString folder = home + "/poverka/methodologies";
    QFile own(folder + "/" + model + ".toml");
    if (!shipped.open(QIODevice::ReadOnly) || !QDir().mkpath(folder) ||
        !own.open(QIODevice::WriteOnly))
        return false;
    QString text = QString::fromUtf8(shipped.readAll());
    for (const auto& [from, to] : replaced) text.replace(from, to);
    const QByteArray bytes = text.toUtf8();
    return own.write(bytes) == bytes.size();
}

}  // namespace yukt::testing
