#include "records/journal_csv.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "records/ru_format.h"
#include "records/whole_file.h"

namespace yukt::records {

const QStringList& JournalCsvCaptions() {
    static const QStringList captions = {"№",         "Ред.",       "Дата",
                                         "Модель",    "Модуль",     "Зав. №",
                                         "Результат", "Поверитель", "Свидетельство"};
    return captions;
}

QString CsvField(QString text) {
    // A cell a spreadsheet would run as a formula ("=HYPERLINK(...)" typed as
    // a verifier's name or a serial) is kept as text: a leading apostrophe.
    // A plain signed number stays a number.
    static const QRegularExpression number(QStringLiteral("^[-+]?[0-9]+([.,][0-9]+)?$"));
    if (!text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text.front()) &&
        !number.match(text).hasMatch())
        text.prepend('\'');
    // Quoted when it holds either separator a spreadsheet may take (";", ","),
    // a quote or a line break.
    if (text.contains(';') || text.contains(',') || text.contains('"') || text.contains('\n') ||
        text.contains('\r'))
        text = '"' + text.replace("\"", "\"\"") + '"';
    return text;
}

CsvReport WriteJournalCsv(const QSqlDatabase& db, const JournalFilter& filter, const QString& path,
                          const std::function<bool(qint64 rows)>& carryOn) {
    CsvReport report;
    // Streamed row by row: the whole journal is never held in memory.
    QSqlQuery q = JournalPage(db, filter, -1, 0);
    if (!q.isActive()) {
        report.error = QStringLiteral("Не удалось прочитать журнал: ") + q.lastError().text();
        return report;
    }
    if (!q.next()) return report;
    WholeFile file(path);
    if (!file.Begin(&report.error)) return report;
    file.write("\xEF\xBB\xBF");  // spreadsheet programs then read it as UTF-8
    file.write((JournalCsvCaptions().join(';') + "\r\n").toUtf8());
    do {
        QStringList row;
        for (int c = 0; c < kJState; ++c) {
            QString v = q.value(c).toString();
            if (c == kJStarted) v = LocalDateTime(QDateTime::fromString(v, Qt::ISODateWithMs));
            row << CsvField(v);
        }
        file.write((row.join(';') + "\r\n").toUtf8());
        ++report.rows;
        if (carryOn && !carryOn(report.rows)) {
            report.cancelled = true;
            report.rows = 0;
            return report;  // the temporary file goes with `file`
        }
    } while (q.next());
    if (q.lastError().isValid()) {
        report.error = QStringLiteral("Не удалось прочитать журнал: ") + q.lastError().text();
        report.rows = 0;
        return report;
    }
    if (!file.Commit(&report.error)) report.rows = 0;
    return report;
}

}  // namespace yukt::records
