#include "records/registry_fetch.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include "records/fgis_export.h"
#include "records/record_where.h"
#include "records/registry_answer.h"
#include "records/sql_registry.h"
#include "records/sql_text.h"

namespace yukt::records {
namespace {

// Rows asked per page of an answer; a module has few verifications a day.
constexpr int kRows = 100;

struct Query {
    QString typeNumber, serial;
    QDate day;
};

// The exported records not yet found, one query per type, serial and day.
bool Queries(RecordStore& store, const RegistryFetchOptions& o, QList<Query>* out, QString* error) {
    QString text = QString(sql::kPendingSelect) + sql::kJournalLatestOnly + sql::kFilterFinished +
                   sql::kFilterExportedNotFound;
    QVariantList binds;
    if (o.from.isValid()) {
        text += sql::kFilterFinishedFrom;
        binds << UtcBound(o.from);
    }
    if (o.to.isValid()) {
        text += sql::kFilterFinishedTo;
        binds << UtcBound(o.to.addDays(1));
    }
    QSqlQuery q(store.Database());
    q.setForwardOnly(true);
    q.prepare(text + sql::kPendingOrder);
    for (const QVariant& b : binds) q.addBindValue(b);
    if (!q.exec()) {
        *error = QStringLiteral("Не удалось прочитать журнал: ") + q.lastError().text();
        return false;
    }
    QList<qint64> ids;
    while (q.next()) ids << q.value(0).toLongLong();
    QSet<QString> seen;
    for (qint64 id : ids) {
        const std::optional<Record> r = store.Load(id);
        if (!r) {
            *error = store.LastError();
            return false;
        }
        const Query one{r->info.typeNumber, r->info.serial, VerificationDay(*r)};
        const QString key =
            one.typeNumber + '\n' + one.serial + '\n' + one.day.toString(Qt::ISODate);
        if (seen.contains(key)) continue;
        seen.insert(key);
        *out << one;
    }
    return true;
}

// Waits without spinning: the event loop sleeps until the timer fires.
void Pause(int ms) {
    if (ms <= 0) return;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class Client {
  public:
    explicit Client(const RegistryFetchOptions& o) : m_options(o) {}

    // The body of a 200 reply; nothing with `error` set otherwise.
    std::optional<QByteArray> Get(const QString& url, QString* error) {
        for (int attempt = 0;; ++attempt) {
            if (m_last.isValid()) Pause(kRegistryRequestGapMs - static_cast<int>(m_last.elapsed()));
            m_last.start();
            QNetworkRequest request{QUrl(url)};
            request.setRawHeader("Accept", "application/json");
            request.setTransferTimeout(m_options.timeoutMs);
            QNetworkReply* reply = m_net.get(request);
            QEventLoop loop;
            QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
            loop.exec();
            reply->deleteLater();
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (status == 429) {
                if (attempt >= m_options.retries) {
                    *error = QStringLiteral(
                                 "сервер реестра отказывает: слишком много запросов "
                                 "(HTTP 429, %1 попыток)")
                                 .arg(attempt + 1);
                    return std::nullopt;
                }
                bool ok = false;
                const int after = reply->rawHeader("Retry-After").trimmed().toInt(&ok);
                Pause(ok && after >= 0 ? qMin(after, 600) * 1000
                                       : kRegistryRequestGapMs << qMin(attempt + 1, 8));
                continue;
            }
            if (reply->error() == QNetworkReply::OperationCanceledError ||
                reply->error() == QNetworkReply::TimeoutError) {
                *error = QStringLiteral("сервер реестра не ответил за %1 с (%2)")
                             .arg(m_options.timeoutMs / 1000.0)
                             .arg(m_options.baseUrl);
                return std::nullopt;
            }
            if (status == 0 || reply->error() == QNetworkReply::HostNotFoundError ||
                reply->error() == QNetworkReply::ConnectionRefusedError) {
                *error = QStringLiteral("сервер реестра недоступен (%1): %2")
                             .arg(m_options.baseUrl, reply->errorString());
                return std::nullopt;
            }
            if (status != 200) {
                *error = QStringLiteral("сервер реестра ответил HTTP %1 (%2)")
                             .arg(status)
                             .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute)
                                      .toString());
                return std::nullopt;
            }
            return reply->readAll();
        }
    }

  private:
    const RegistryFetchOptions& m_options;
    QNetworkAccessManager m_net;
    QElapsedTimer m_last;
};

}  // namespace

QString RegistryQueryUrl(const QString& baseUrl, const QString& typeNumber, const QString& serial,
                         const QDate& day, qint64 start) {
    QUrl url(baseUrl.endsWith('/') ? baseUrl.chopped(1) : baseUrl);
    url.setPath(url.path() + QStringLiteral("/fundmetrology/eapi/vri"));
    QUrlQuery query;
    query.addQueryItem("mit_number", typeNumber);
    query.addQueryItem("mi_number", serial);
    query.addQueryItem("verification_date_start", day.toString(Qt::ISODate));
    query.addQueryItem("verification_date_end", day.toString(Qt::ISODate));
    query.addQueryItem("rows", QString::number(kRows));
    query.addQueryItem("start", QString::number(start));
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
}

bool FetchRegistry(RecordStore& store, const RegistryFetchOptions& options,
                   RegistryFetchReport& report,
                   const std::function<void(const QString&)>& progress) {
    QList<Query> queries;
    if (!Queries(store, options, &queries, &report.error)) return false;
    report.queries = static_cast<int>(queries.size());
    Client client(options);
    for (int n = 0; n < queries.size(); ++n) {
        const Query& q = queries[n];
        const QString what = QStringLiteral("запрос %1 из %2 (тип %3, зав. № %4, %5)")
                                 .arg(n + 1)
                                 .arg(queries.size())
                                 .arg(q.typeNumber, q.serial, q.day.toString("dd.MM.yyyy"));
        auto stop = [&](const QString& why) {
            report.error = QStringLiteral(
                               "Опрос реестра прерван на: %1: %2; сохранено до этого: "
                               "найдено в реестре %3, запросов выполнено %4 из %5")
                               .arg(what, why)
                               .arg(report.import.matched)
                               .arg(report.asked)
                               .arg(queries.size());
            return false;
        };
        if (progress) progress(what);
        for (qint64 start = 0;;) {
            const QString url =
                RegistryQueryUrl(options.baseUrl, q.typeNumber, q.serial, q.day, start);
            QString error;
            const std::optional<QByteArray> body = client.Get(url, &error);
            if (!body) return stop(error);
            const std::optional<RegistryAnswer> answer = ReadRegistryAnswer(*body, url, &error);
            if (!answer) return stop(error);
            if (!ImportRegistryAnswer(store, *answer, url, QStringLiteral("ФГИС «Аршин» (опрос)"),
                                      report.import))
                return stop(report.import.error);
            if (!answer->Partial() || answer->items.isEmpty()) break;
            start = answer->start + answer->items.size();
        }
        ++report.asked;
    }
    return true;
}

}  // namespace yukt::records
