// "Протокол поверки": an A4 PDF made from one stored record alone, so that a
// protocol printed a year later is the same document.
#pragma once

#include <QIODevice>
#include <QString>

#include "records/record.h"

namespace yukt::records {

QString ProtocolTitle(const Record& record);
QString ProtocolHtml(const Record& record);
// Needs a QGuiApplication (fonts). Returns false with a reason in `error`.
bool WriteProtocolPdf(const Record& record, const QString& path, QString* error);
void WriteProtocolPdf(const Record& record, QIODevice* out);

}  // namespace yukt::records
