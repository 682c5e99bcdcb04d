// "Протокол поверки": an A4 PDF made from one stored record alone, so that a
// protocol printed a year later is the same document.
#pragma once

#include <QIODevice>
#include <QString>

#include "records/record.h"

namespace yukt::records {

QString ProtocolTitle(const Record& record);
// Needs a QGuiApplication (fonts). The file is whole or absent: false with
// the file and the reason in `error`, and nothing left behind.
bool WriteProtocolPdf(const Record& record, const QString& path, QString* error);
void WriteProtocolPdf(const Record& record, QIODevice* out);

}  // namespace yukt::records
