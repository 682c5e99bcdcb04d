#include "records/html_report.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QVariant>
#include <algorithm>
#include <cmath>

#include "records/history_marginal.h"
#include "records/journal_query.h"
#include "records/lab_references.h"
#include "records/lab_stats.h"
#include "records/module_history.h"
#include "records/protocol_pdf.h"
#include "records/record_store.h"
#include "records/record_where.h"
#include "records/ru_format.h"
#include "records/sql_analysis.h"
#include "records/sql_references.h"
#include "records/sql_text.h"
#include "verify/procedure_library.h"
#include "records/whole_file.h"

namespace yukt::records {
namespace {

// The register's references due, as `yukt-records references due` lists them.
std::optional<QList<DueReference>> RegisterDue(RecordStore& store, int days, QString* error) {
    const std::optional<QList<LabReference>> all = LoadReferences(store, error);
    if (!all) return std::nullopt;
    QList<DueReference> out;
    for (const LabReference& r : ReferencesDue(*all, QDate::currentDate(), days))
        out << DueReference{r.name.isEmpty() ? r.typeNumber : r.name, r.number, r.validUntil};
    return out;
}

QString E(const QString& text) { return text.toHtmlEscaped(); }
QString Num(double v) { return QString::number(v, 'g', 12); }  // C locale, for attributes

// Print rules: A4 with margins, table headers repeated, rows never split.
const char* const kStyle = R"(
*{box-sizing:border-box}
body{font-family:"Liberation Sans",Arial,sans-serif;font-size:11pt;margin:1.5em;color:#111}
h1{font-size:16pt}h2{font-size:13pt;margin-top:1.4em}
nav{margin-bottom:1em}nav a{margin-right:1em}
table{border-collapse:collapse;margin:.5em 0;max-width:100%}
th,td{border:1px solid #999;padding:2px 6px;text-align:left;vertical-align:top}
th{background:#eee}td.n{text-align:right;white-space:nowrap}
.fail{color:#a00}.note{color:#555}
svg{max-width:100%;height:auto}
@page{size:A4;margin:15mm}
@media print{body{margin:0;font-size:9pt}nav{display:none}thead{display:table-header-group}
tr,svg{page-break-inside:avoid}h2{page-break-after:avoid}}
)";

QString Page(const QString& title, const QString& body, const QString& root = QString()) {
    return QStringLiteral(
               "<!DOCTYPE html>\n<html lang=\"ru\"><head><meta charset=\"utf-8\">"
               "<title>%1</title><style>%2</style></head><body>\n"
               "<nav><a href=\"%3index.html\">Сводка</a><a href=\"%3journal-1.html\">"
               "Журнал</a><a href=\"%3modules.html\">Модули</a><a href=\"%3stats.html\">"
               "Статистика</a></nav>\n<h1>%1</h1>\n%4</body></html>\n")
        .arg(E(title), QString::fromLatin1(kStyle), root, body);
}

QString Table(const QStringList& captions, const QList<QStringList>& rows,
              const QString& id = QString(), const QList<int>& numeric = {}) {
    QString out =
        id.isEmpty() ? QStringLiteral("<table>") : QStringLiteral("<table id=\"%1\">").arg(id);
    out += "<thead><tr>";
    for (const QString& c : captions) out += "<th>" + E(c) + "</th>";
    out += "</tr></thead><tbody>\n";
    for (const QStringList& row : rows) {
        out += "<tr>";
        for (int i = 0; i < row.size(); ++i)
            out += (numeric.contains(i) ? "<td class=\"n\">" : "<td>") + row[i] + "</td>";
        out += "</tr>\n";
    }
    return out + "</tbody></table>\n";
}

// A file name for a module that any file system takes, unique by its hash.
QString ModuleFile(const QString& model, const QString& serial) {
    QString readable = model + "-" + serial;
    for (QChar& c : readable)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != '-' && c != '_') c = '_';
    const QByteArray hash =
        QCryptographicHash::hash((model + '\n' + serial).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(8);
    return QStringLiteral("modules/%1-%2.html").arg(readable.left(60), QString::fromLatin1(hash));
}

QString PeriodText(const QDate& from, const QDate& to) {
    if (!from.isValid() && !to.isValid()) return QStringLiteral("за всё время");
    QString text;
    if (from.isValid()) text += QStringLiteral("с ") + RuDate(from);
    if (to.isValid()) text += (text.isEmpty() ? "" : " ") + QStringLiteral("по ") + RuDate(to);
    return text;
}

QString VerdictCell(const QString& verdict) {
    return verdict == kUnsuitable ? "<span class=\"fail\">" + E(verdict) + "</span>" : E(verdict);
}

class Site {
  public:
    Site(RecordStore& store, const HtmlReportOptions& o, const QString& root)
        : m_store(store),
          m_o(o),
          m_root(root),
          m_marginals(o.methodologyDir.isEmpty() ? verify::UserMethodologyDir()
                                                 : o.methodologyDir.toStdString()) {}

    bool Write(const QString& name, const QString& html) {
        QFile f(m_root + "/" + name);
        const QByteArray bytes = html.toUtf8();
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.flush()) {
            m_error = WriteFailure(f.fileName(), f.errorString());
            return false;
        }
        ++m_pages;
        return true;
    }
    bool Step() {
        ++m_done;
        if (m_o.progress && !m_o.progress(m_done, m_total)) {
            m_cancelled = true;
            return false;
        }
        return true;
    }
    bool Fail(const QString& error) {
        m_error = error;
        return false;
    }

    bool Build(HtmlReportResult& result);

    QString m_error;
    bool m_cancelled = false;
    qint64 m_pages = 0;

  private:
    bool Journal(qint64 count);
    bool Modules(const QList<std::pair<QString, QString>>& modules);
    bool Stats();
    bool Index(qint64 count, qint64 modules);

    RecordStore& m_store;
    const HtmlReportOptions& m_o;
    QString m_root;
    qint64 m_done = 0, m_total = 0;
    QMap<qint64, QString> m_protocols;  // record → its PDF in the site
    HistoryMarginals m_marginals;
};

bool Site::Journal(qint64 count) {
    JournalFilter filter;
    filter.from = m_o.from;
    filter.to = m_o.to;
    QSqlQuery q = JournalPage(m_store.Database(), filter, -1, 0);
    if (!q.isActive())
        return Fail(QStringLiteral("Не удалось прочитать журнал: ") + q.lastError().text());
    const qint64 pages = std::max<qint64>(1, (count + kReportJournalPage - 1) / kReportJournalPage);
    const QStringList captions = {"№",      "Ред.",      "Дата",       "Модель",        "Модуль",
                                  "Зав. №", "Результат", "Поверитель", "Свидетельство", "Протокол"};
    bool more = q.next();
    for (qint64 page = 1; page <= pages; ++page) {
        QList<QStringList> rows;
        for (; more && rows.size() < kReportJournalPage; more = q.next()) {
            const qint64 id = q.value(kJId).toLongLong();
            const QString model = q.value(kJModel).toString();
            const QString serial = q.value(kJSerial).toString();
            const QString state = q.value(kJState).toString();
            const QString verdict = state == QLatin1String("interrupted") ? kInterrupted
                                    : state == QLatin1String("open")
                                        ? QStringLiteral("открыта")
                                        : q.value(kJVerdict).toString();
            QString protocol;
            if (m_o.protocols && state != QLatin1String("open")) {
                const std::optional<Record> r = m_store.Load(id);
                if (!r) return Fail(m_store.LastError());
                const QString name = QStringLiteral("protocols/protocol-%1.pdf").arg(id);
                QString error;
                if (!WriteProtocolPdf(*r, m_root + "/" + name, &error)) return Fail(error);
                protocol = QStringLiteral("<a href=\"%1\">PDF</a>").arg(name);
            }
            rows << QStringList{
                QString::number(id),
                q.value(kJRevision).toString(),
                E(LocalDateTime(
                    QDateTime::fromString(q.value(kJStarted).toString(), Qt::ISODateWithMs))),
                E(model),
                E(q.value(kJDesignation).toString()),
                QStringLiteral("<a href=\"%1\">%2</a>").arg(ModuleFile(model, serial), E(serial)),
                VerdictCell(verdict),
                E(q.value(kJOperator).toString()),
                E(q.value(kJCertificate).toString()),
                protocol};
        }
        if (q.lastError().isValid())
            return Fail(QStringLiteral("Не удалось прочитать журнал: ") + q.lastError().text());
        QString nav = QStringLiteral("<p>Страница %1 из %2").arg(page).arg(pages);
        if (page > 1)
            nav += QStringLiteral(" · <a href=\"journal-%1.html\">предыдущая</a>").arg(page - 1);
        if (page < pages)
            nav += QStringLiteral(" · <a href=\"journal-%1.html\">следующая</a>").arg(page + 1);
        nav += "</p>\n";
        const QString body = QStringLiteral("<p>Записей: %1, %2.</p>\n")
                                 .arg(count)
                                 .arg(PeriodText(m_o.from, m_o.to)) +
                             nav +
                             (rows.isEmpty() ? QStringLiteral("<p>Записей нет.</p>\n")
                                             : Table(captions, rows, "journal", {0, 1})) +
                             nav;
        if (!Write(QStringLiteral("journal-%1.html").arg(page),
                   Page(QStringLiteral("Журнал поверок"), body)) ||
            !Step())
            return false;
    }
    return true;
}

bool Site::Modules(const QList<std::pair<QString, QString>>& modules) {
    QList<QStringList> list;
    for (const auto& [model, serial] : modules) {
        QString error;
        const std::optional<ModuleHistory> h = LoadModuleHistory(m_store, serial, model, &error);
        if (!h) return Fail(error);
        const QString file = ModuleFile(model, serial);
        QList<QStringList> records;
        for (const HistoryRecord& r : h->records)
            records << QStringList{QString::number(r.id),
                                   E(RuDate(r.startedAt.toLocalTime().date())),
                                   VerdictCell(r.verdict),
                                   E(r.methodologyId.isEmpty() ? r.methodology
                                                               : QStringLiteral("%1 ред. %2")
                                                                     .arg(r.methodologyId)
                                                                     .arg(r.methodologyRevision)),
                                   E(r.certificate),
                                   E(RuDate(r.validUntil))};
        QStringList captions{"Точка"};
        for (const HistoryRecord& r : h->records)
            captions << RuDate(r.startedAt.toLocalTime().date()) + " (№ " + QString::number(r.id) +
                            ")";
        QList<QStringList> items;
        for (const HistoryRow& row : h->rows) {
            QStringList cells{E(row.Caption())};
            for (const HistoryCell& c : row.cells) {
                cells << (c.result == QLatin1String("fail")
                              ? "<span class=\"fail\">" + E(HistoryCellText(row, c)) + "</span>"
                              : E(HistoryCellText(row, c)));
            }
            items << cells;
        }
        const QString body =
            QStringLiteral("<p>Модель %1, заводской номер %2.</p>\n").arg(E(model), E(serial)) +
            "<h2>Поверки</h2>\n" +
            Table({"Запись", "Дата", "Результат", "Методика", "Свидетельство", "Действительно до"},
                  records, "records", {0}) +
            "<h2>|Погрешность| / предел по датам</h2>\n" +
            HistorySvg(*h, m_marginals.Of(*h)) +
            "<h2>Погрешность и предел по точкам</h2>\n" + Table(captions, items, "items");
        if (!Write(file, Page(QStringLiteral("Модуль %1 № %2").arg(model, serial), body, "../")) ||
            !Step())
            return false;
        list << QStringList{E(model), QStringLiteral("<a href=\"%1\">%2</a>").arg(file, E(serial)),
                            QString::number(h->records.size()),
                            h->records.isEmpty() ? QString() : E(h->records.last().verdict)};
    }
    const QString body =
        modules.isEmpty()
            ? QStringLiteral("<p>Модулей нет.</p>\n")
            : Table({"Модель", "Зав. №", "Поверок", "Последний результат"}, list, "modules", {2});
    return Write("modules.html", Page(QStringLiteral("Модули"), body));
}

bool Site::Stats() {
    StatsFilter filter;
    filter.from = m_o.from;
    filter.to = m_o.to;
    QString error;
    const std::optional<LabStats> s = ReadLabStats(m_store.Database(), filter, &error);
    if (!s) return Fail(error);
    QString body = QStringLiteral("<p>%1.</p>\n").arg(PeriodText(m_o.from, m_o.to));
    const QStringList models = s->Models();
    if (models.isEmpty()) body += QStringLiteral("<p>Записей нет.</p>\n");
    for (const QString& model : models) {
        body += QStringLiteral("<h2 id=\"model-%1\">Модель %1</h2>\n").arg(E(model));
        QList<QStringList> months;
        for (const MonthVerdicts& m : s->months)
            if (m.model == model)
                months << QStringList{m.month, QString::number(m.suitable),
                                      QString::number(m.unsuitable), QString::number(m.interrupted),
                                      QString::number(m.Total())};
        body += Table({"Месяц", kSuitable, kUnsuitable, kInterrupted, "Всего"}, months,
                      "verdicts-" + E(model), {1, 2, 3, 4}) +
                VerdictsSvg(*s, model);
        QList<QStringList> items;
        for (const ItemStats& i : s->items)
            if (i.model == model)
                items << QStringList{E(i.operation),
                                     E(i.channelNo > 0 ? QString::number(i.channelNo) : i.channel),
                                     E(RuShort(i.nominal) + (i.unit.isEmpty() ? "" : " " + i.unit)),
                                     QString::number(i.count),
                                     RuNumber(i.meanRatio, 3),
                                     RuNumber(i.maxRatio, 3),
                                     RuNumber(i.shareAbove08 * 100, 1) + " %",
                                     QString::number(i.failures)};
        if (!items.isEmpty())
            body += "<h3>Погрешность по точкам</h3>\n" +
                    Table({"Операция", "Канал", "Номинал", "Измерений", "Среднее |Δ|/предел",
                           "Наибольшее |Δ|/предел", "Доля выше 0,8", "Не годен"},
                          items, "items-" + E(model), {3, 4, 5, 6, 7});
        QList<QStringList> people;
        for (const PeopleStats& p : s->people)
            if (p.model == model)
                people << QStringList{E(p.operatorName), E(p.station), QString::number(p.records)};
        body +=
            "<h3>Поверители и рабочие места</h3>\n" +
            Table({"Поверитель", "Рабочее место", "Записей"}, people, "people-" + E(model), {2});
    }
    return Write("stats.html", Page(QStringLiteral("Статистика по моделям"), body)) && Step();
}

bool Site::Index(qint64 count, qint64 modules) {
    QString body =
        QStringLiteral("<p>Отчёт составлен %1, %2.</p>\n")
            .arg(LocalDateTime(QDateTime::currentDateTimeUtc()), PeriodText(m_o.from, m_o.to));
    QMap<QString, qint64> byVerdict;
    JournalFilter filter;
    filter.from = m_o.from;
    filter.to = m_o.to;
    for (const QString& v : {kSuitable, kUnsuitable, kInterrupted}) {
        filter.verdict = v;
        byVerdict[v] = JournalCount(m_store.Database(), filter);
    }
    body += Table({"Записей", kSuitable, kUnsuitable, kInterrupted, "Модулей"},
                  {{QString::number(count), QString::number(byVerdict[kSuitable]),
                    QString::number(byVerdict[kUnsuitable]),
                    QString::number(byVerdict[kInterrupted]), QString::number(modules)}},
                  "counts", {0, 1, 2, 3, 4});
    body += QStringLiteral("<h2>Модули, срок поверки которых истекает в ближайшие %1 дн.</h2>\n")
                .arg(m_o.dueDays);
    QSqlQuery q = DueModules(m_store.Database(), m_o.dueDays);
    if (!q.isActive())
        return Fail(QStringLiteral("Не удалось прочитать журнал: ") + q.lastError().text());
    QList<QStringList> due;
    while (q.next()) {
        const QString model = q.value(kDModel).toString(), serial = q.value(kDSerial).toString();
        due << QStringList{
            E(RuDate(QDate::fromString(q.value(kDValidUntil).toString(), Qt::ISODate))),
            E(model),
            E(q.value(kDDesignation).toString()),
            QStringLiteral("<a href=\"%1\">%2</a>").arg(ModuleFile(model, serial), E(serial)),
            E(q.value(kDOwner).toString()),
            E(q.value(kDCertificate).toString())};
    }
    body +=
        due.isEmpty()
            ? QStringLiteral("<p>Таких модулей нет.</p>\n")
            : Table({"Действительно до", "Модель", "Модуль", "Зав. №", "Владелец", "Свидетельство"},
                    due, "due-modules");
    body += QStringLiteral("<h2>Эталоны, срок поверки которых истекает в ближайшие %1 дн.</h2>\n")
                .arg(m_o.dueDays);
    // A database from before the register has none to read.
    if (!m_o.dueReferences && m_store.SchemaVersion() < sql::ReferencesVersion()) {
        body += QStringLiteral("<p class=\"note\">Реестр эталонов не подключён.</p>\n");
    } else {
        QString error;
        const std::optional<QList<DueReference>> refs =
            m_o.dueReferences ? m_o.dueReferences(m_store.Database(), m_o.dueDays, &error)
                              : RegisterDue(m_store, m_o.dueDays, &error);
        if (!refs) return Fail(QStringLiteral("Не удалось прочитать реестр эталонов: ") + error);
        QList<QStringList> rows;
        for (const DueReference& r : *refs)
            rows << QStringList{E(RuDate(r.validUntil)), E(r.name), E(r.number)};
        body += rows.isEmpty()
                    ? QStringLiteral("<p>Таких эталонов нет.</p>\n")
                    : Table({"Действительно до", "Эталон", "Номер"}, rows, "due-references");
    }
    return Write("index.html", Page(QStringLiteral("Журнал поверок: сводка"), body)) && Step();
}

bool Site::Build(HtmlReportResult& result) {
    JournalFilter filter;
    filter.from = m_o.from;
    filter.to = m_o.to;
    const qint64 count = JournalCount(m_store.Database(), filter);
    QList<std::pair<QString, QString>> modules;
    {
        QVariantList binds;
        const QString text =
            QString(sql::kModulesSelect) + RecordsWhere(m_o.from, m_o.to, QString(), &binds).text;
        QSqlQuery q(m_store.Database());
        q.setForwardOnly(true);
        q.prepare(text + sql::kModulesGroup);
        for (const QVariant& b : binds) q.addBindValue(b);
        if (!q.exec())
            return Fail(QStringLiteral("Не удалось прочитать журнал: ") + q.lastError().text());
        while (q.next()) modules << std::pair{q.value(0).toString(), q.value(1).toString()};
    }
    const qint64 journalPages =
        std::max<qint64>(1, (count + kReportJournalPage - 1) / kReportJournalPage);
    m_total = journalPages + modules.size() + 2;
    if (!QDir(m_root).mkpath("modules") || (m_o.protocols && !QDir(m_root).mkpath("protocols")))
        return Fail(WriteFailure(m_root, QStringLiteral("папка не создана")));
    if (!Index(count, modules.size()) || !Journal(count) || !Modules(modules) || !Stats())
        return false;
    result.records = count;
    result.modules = modules.size();
    return true;
}

// Every file of the site on the disk before the folder gets its name.
bool SyncFolder(const QString& dir) {
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    const bool ok = ::syncfs(fd) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

HtmlReportResult WriteHtmlReport(RecordStore& store, const HtmlReportOptions& o) {
    HtmlReportResult result;
    const QFileInfo target(o.dir);
    const QString path = target.absoluteFilePath();
    const bool exists = target.exists();
    if (exists && !target.isDir()) {
        result.error = WriteFailure(path, QStringLiteral("это не папка"));
        result.refused = true;
        return result;
    }
    const bool empty = !exists || QDir(path).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                     QDir::Hidden | QDir::System);
    if (!empty && !o.force) {
        result.error =
            QStringLiteral("Папка %1 не пуста; отчёт не записан (--force заменит её)").arg(path);
        result.refused = true;
        return result;
    }
    const QString parent = target.absolutePath();
    if (!QDir().mkpath(parent)) {
        result.error = WriteFailure(parent, QStringLiteral("папка не создана"));
        return result;
    }
    QTemporaryDir temp(parent + "/." + target.fileName() + "-XXXXXX");
    if (!temp.isValid()) {
        result.error = WriteFailure(parent, temp.errorString());
        return result;
    }
    Site site(store, o, temp.path());
    if (!site.Build(result)) {
        result.cancelled = site.m_cancelled;
        result.error = site.m_cancelled ? QStringLiteral("Отчёт отменён: ничего не записано")
                                        : site.m_error + QStringLiteral("; отчёт не записан");
        result.records = result.modules = 0;
        return result;
    }
    result.pages = site.m_pages;
    if (!SyncFolder(temp.path())) {
        result.error = WriteFailure(temp.path(), QStringLiteral("не сброшена на диск"));
        return result;
    }
    QFile::setPermissions(temp.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                           QFile::ExeOther);
    // The old folder steps aside, the new one takes its name, then the old
    // one goes: at every moment one whole site carries the name, or none.
    QString aside;
    if (exists) {
        aside = parent + "/." + target.fileName() + "-old-" +
                QString::number(QDateTime::currentMSecsSinceEpoch());
        if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) !=
            0) {
            result.error = WriteFailure(path, QString::fromLocal8Bit(strerror(errno)));
            return result;
        }
    }
    if (::rename(QFile::encodeName(temp.path()).constData(), QFile::encodeName(path).constData()) !=
        0) {
        result.error = WriteFailure(path, QString::fromLocal8Bit(strerror(errno)));
        if (!aside.isEmpty())
            ::rename(QFile::encodeName(aside).constData(), QFile::encodeName(path).constData());
        return result;
    }
    temp.setAutoRemove(false);
    if (!aside.isEmpty()) QDir(aside).removeRecursively();
    return result;
}

namespace {

struct Plot {
    double left = 60, top = 20, width = 640, height = 260;
    double yMax = 1.2;
    double X(double t) const { return left + t * width; }
    double Y(double v) const { return top + height * (1 - std::min(v, yMax) / yMax); }
};

const char* const kPalette[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd",
                                "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"};

}  // namespace

QString HistorySvg(const ModuleHistory& h, double marginal) {
    Plot p;
    QList<const HistoryRow*> rows;
    for (const HistoryRow& row : h.rows) {
        if (!row.IsError()) continue;
        bool any = false;
        for (const HistoryCell& c : row.cells)
            if (c.hasRatio) {
                any = true;
                p.yMax = std::max(p.yMax, c.ratio * 1.1);
            }
        if (any) rows << &row;
    }
    if (rows.isEmpty() || h.records.isEmpty())
        return QStringLiteral("<p>Погрешностей с пределом в записях нет.</p>\n");
    const qint64 first = h.records.first().startedAt.toSecsSinceEpoch();
    const qint64 last = h.records.last().startedAt.toSecsSinceEpoch();
    auto t = [&](int i) {
        if (last == first) return h.records.size() == 1 ? 0.5 : double(i) / (h.records.size() - 1);
        return double(h.records[i].startedAt.toSecsSinceEpoch() - first) / double(last - first);
    };
    const double legendTop = p.top + p.height + 40;
    const double total = legendTop + 16 * rows.size() + 10;
    QString svg = QStringLiteral(
                      "<svg class=\"history\" "
                      "viewBox=\"0 0 %1 %2\" width=\"%1\" height=\"%2\" "
                      "font-family=\"Liberation Sans, Arial, sans-serif\" font-size=\"11\">\n")
                      .arg(Num(p.left + p.width + 50), Num(total));
    svg += QStringLiteral(
               "<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"none\" "
               "stroke=\"#999\"/>\n")
               .arg(Num(p.left), Num(p.top), Num(p.width), Num(p.height));
    for (double v = 0; v <= p.yMax + 1e-9; v += p.yMax > 3 ? 1.0 : 0.2) {
        svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\">%3</text>\n")
                   .arg(Num(p.left - 4), Num(p.Y(v) + 4), RuShort(std::round(v * 10) / 10));
    }
    auto line = [&](double v, const QString& cls, const QString& colour, const QString& label) {
        svg += QStringLiteral(
                   "<line class=\"%1\" data-value=\"%2\" x1=\"%3\" x2=\"%4\" y1=\"%5\" "
                   "y2=\"%5\" stroke=\"%6\" stroke-dasharray=\"6 3\"/>"
                   "<text x=\"%4\" y=\"%7\" text-anchor=\"end\" fill=\"%6\">%8</text>\n")
                   .arg(cls, Num(v), Num(p.left), Num(p.left + p.width), Num(p.Y(v)), colour,
                        Num(p.Y(v) - 3), E(label));
    };
    line(1, "limit", "#c00", QStringLiteral("предел"));
    if (marginal > 0) line(marginal, "marginal", "#d80", QStringLiteral("Граница внимания"));
    for (int i = 0; i < h.records.size(); ++i)
        svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>\n")
                   .arg(Num(p.X(t(i))), Num(p.top + p.height + 14),
                        RuDate(h.records[i].startedAt.toLocalTime().date()));
    for (int s = 0; s < rows.size(); ++s) {
        const HistoryRow& row = *rows[s];
        const QString colour = QString::fromLatin1(kPalette[s % std::size(kPalette)]);
        QStringList points;
        QString marks;
        for (int i = 0; i < row.cells.size(); ++i) {
            const HistoryCell& c = row.cells[i];
            if (!c.hasRatio) continue;
            const QString xy = Num(p.X(t(i))) + "," + Num(p.Y(c.ratio));
            points << xy;
            marks += QStringLiteral(
                         "<circle cx=\"%1\" cy=\"%2\" r=\"3\" fill=\"%3\" "
                         "data-record=\"%4\" data-date=\"%5\" data-ratio=\"%6\">"
                         "<title>%7: %8</title></circle>\n")
                         .arg(Num(p.X(t(i))), Num(p.Y(c.ratio)), colour)
                         .arg(h.records[i].id)
                         .arg(h.records[i].startedAt.toLocalTime().date().toString(Qt::ISODate),
                              Num(c.ratio), RuDate(h.records[i].startedAt.toLocalTime().date()),
                              RuNumber(c.ratio, 3));
        }
        svg += QStringLiteral(
                   "<g class=\"series\" data-series=\"%1\">"
                   "<polyline fill=\"none\" stroke=\"%2\" points=\"%3\"/>\n%4</g>\n")
                   .arg(E(row.Caption()), colour, points.join(' '), marks);
        svg += QStringLiteral(
                   "<rect x=\"%1\" y=\"%2\" width=\"10\" height=\"10\" fill=\"%3\"/>"
                   "<text x=\"%4\" y=\"%5\">%6</text>\n")
                   .arg(Num(p.left), Num(legendTop + 16 * s), colour, Num(p.left + 14),
                        Num(legendTop + 16 * s + 9), E(row.Caption()));
    }
    return svg + "</svg>\n";
}

QString VerdictsSvg(const LabStats& s, const QString& model) {
    QList<const MonthVerdicts*> months;
    qint64 most = 1;
    for (const MonthVerdicts& m : s.months)
        if (m.model == model) {
            months << &m;
            most = std::max(most, m.Total());
        }
    if (months.isEmpty()) return QString();
    Plot p;
    p.yMax = double(most);
    const double slot = p.width / months.size();
    const double bar = std::min(40.0, slot * 0.7);
    QString svg = QStringLiteral(
                      "<svg class=\"verdicts\" data-model=\"%1\" "
                      "viewBox=\"0 0 %2 %3\" "
                      "width=\"%2\" height=\"%3\" font-family=\"Liberation Sans, Arial, "
                      "sans-serif\" font-size=\"11\">\n")
                      .arg(E(model), Num(p.left + p.width + 20), Num(p.top + p.height + 60));
    svg += QStringLiteral(
               "<text x=\"%1\" y=\"%2\" text-anchor=\"end\">%3</text>"
               "<text x=\"%1\" y=\"%4\" text-anchor=\"end\">0</text>\n")
               .arg(Num(p.left - 4), Num(p.top + 4), QString::number(most), Num(p.top + p.height));
    const struct {
        const QString& verdict;
        const char* colour;
    } kinds[] = {{kSuitable, "#2ca02c"}, {kUnsuitable, "#d62728"}, {kInterrupted, "#999999"}};
    for (int i = 0; i < months.size(); ++i) {
        const MonthVerdicts& m = *months[i];
        const qint64 counts[] = {m.suitable, m.unsuitable, m.interrupted};
        double base = 0;
        const double x = p.left + slot * i + (slot - bar) / 2;
        for (int k = 0; k < 3; ++k) {
            if (counts[k] == 0) continue;
            svg += QStringLiteral(
                       "<rect class=\"bar\" data-month=\"%1\" data-verdict=\"%2\" "
                       "data-count=\"%3\" x=\"%4\" y=\"%5\" width=\"%6\" height=\"%7\" "
                       "fill=\"%8\"><title>%1, %2: %3</title></rect>\n")
                       .arg(m.month, kinds[k].verdict)
                       .arg(counts[k])
                       .arg(Num(x), Num(p.Y(base + counts[k])), Num(bar),
                            Num(p.Y(base) - p.Y(base + counts[k])), QLatin1String(kinds[k].colour));
            base += counts[k];
        }
        svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>\n")
                   .arg(Num(x + bar / 2), Num(p.top + p.height + 14), m.month);
    }
    for (int k = 0; k < 3; ++k)
        svg += QStringLiteral(
                   "<rect x=\"%1\" y=\"%2\" width=\"10\" height=\"10\" fill=\"%3\"/>"
                   "<text x=\"%4\" y=\"%5\">%6</text>\n")
                   .arg(Num(p.left + 110 * k), Num(p.top + p.height + 30),
                        QLatin1String(kinds[k].colour), Num(p.left + 110 * k + 14),
                        Num(p.top + p.height + 39), kinds[k].verdict);
    return svg + "</svg>\n";
}

}  // namespace yukt::records
