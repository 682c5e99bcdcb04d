// The round trip with the registry: its answers read (and refused when they
// are not answers), matched to records and stored as revisions that the
// chain vouches for; the state of every record; the search asked over real
// sockets of a local server that also refuses, delays and hangs.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlError>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>
#include <functional>

#include "records/fgis_export.h"
#include "records/journal_query.h"
#include "records/protocol_pdf.h"
#include "records/records_fixture.h"
#include "records/registry_answer.h"
#include "records/registry_fetch.h"
#include "records/registry_match.h"
#include "records/registry_state.h"

namespace yukt::records::test {
namespace {

QString Today() { return QDate::currentDate().toString("dd.MM.yyyy"); }

QJsonObject Item(const QString& vri, const QString& serial, const QString& docnum,
                 const QString& org = "ООО «Лаборатория»", const QString& day = Today()) {
    return {{"vri_id", vri},           {"org_title", org},         {"mit_number", "12345-24"},
            {"mit_title", "Модули"},   {"mit_notation", "ЮКТ-7"},  {"mi_modification", "ЮКТ-7745t"},
            {"mi_number", serial},     {"verification_date", day}, {"valid_date", ""},
            {"result_docnum", docnum}, {"applicability", true},    {"sticker_num", "later field"}};
}

QByteArray Answer(const QJsonArray& items, int count = -1, int start = 0) {
    return QJsonDocument(
               QJsonObject{{"result", QJsonObject{{"count", count < 0 ? items.size() : count},
                                                  {"start", start},
                                                  {"rows", 100},
                                                  {"items", items}}}})
        .toJson();
}

QString Docnum(const QString& cipher, const QString& n) {
    return QStringLiteral("С-%1/%2/%3").arg(cipher, QDate::currentDate().toString("dd-MM-yyyy"), n);
}

// A closed record of `serial`, exported `exports` times.
qint64 Exported(RecordStore& store, const QString& serial, int exports = 1) {
    Record r = SampleRecord();
    r.info.serial = serial;
    EXPECT_TRUE(store.Begin(r)) << store.LastError().toStdString();
    RecordPoint p = SamplePoint(4, 4.01);
    EXPECT_TRUE(store.AddPoint(r.id, p) && store.Close(r.id));
    FgisExportReport report;
    report.placed = {{r.id, "out.xml"}};
    QString error;
    for (int i = 0; i < exports; ++i) EXPECT_TRUE(RecordExports(store, report, &error));
    return r.id;
}

class RegistryTest : public EngineTest {
  protected:
    // The registry column of the journal for record `id`.
    RegistryStatus StatusOf(RecordStore& store, qint64 id) {
        QSqlQuery q = JournalPage(store.Database(), {}, -1, 0);
        const QDateTime bound = NotFoundBound(QDate::currentDate(), kRegistryDaysDefault);
        while (q.next())
            if (q.value(kJId).toLongLong() == id)
                return RegistryStatusOf(q.value(kJournalRegistryField).toString(), bound);
        ADD_FAILURE() << "no record " << id;
        return {};
    }
};

TEST_P(RegistryTest, AnAnswerIsMatchedOnceAndWhatDoesNotMatchIsListed) {
    auto store = Connect();
    const qint64 twice = Exported(*store, "A-1", 2);
    const qint64 sameDay1 = Exported(*store, "B-2"), sameDay2 = Exported(*store, "B-2");
    const qint64 byOrg = Exported(*store, "D-4");
    const qint64 other = Exported(*store, "C-3");
    // Five of the twelve the search found: a partial answer is matched as far as it goes.
    const QByteArray json = Answer(
        {Item("1-101", "A-1", Docnum("ЛАБ", "101")), Item("1-102", "B-2", Docnum("ЛАБ", "102")),
         Item("1-103", "C-3", Docnum("ДР", "103"), "ООО «Другая»"),
         Item("1-104", "D-4", "", "ооо  \"ЛАБОРАТОРИЯ\""),
         Item("1-105", "Z-9", Docnum("ЛАБ", "105"))},
        12);
    QString error;
    const std::optional<RegistryAnswer> answer = ReadRegistryAnswer(json, "ответ.json", &error);
    ASSERT_TRUE(answer) << error.toStdString();
    EXPECT_TRUE(answer->Partial());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "first import" : "the same answer again");
        RegistryImportReport report;
        ASSERT_TRUE(ImportRegistryAnswer(*store, *answer, "ответ.json", "тест", report))
            << report.error.toStdString();
        EXPECT_EQ(report.matched, round == 0 ? 2 : 0);
        EXPECT_EQ(report.known, round == 0 ? 0 : 2);
        ASSERT_EQ(report.ambiguous.size(), 1);
        EXPECT_TRUE(report.ambiguous[0].contains(
            QStringLiteral("подходят записи № %1, %2").arg(sameDay1).arg(sameDay2)))
            << report.ambiguous[0].toStdString();
        ASSERT_EQ(report.unmatched.size(), 2) << report.unmatched.join('\n').toStdString();
        EXPECT_TRUE(report.unmatched[0].contains("result.items[2]") &&
                    report.unmatched[0].contains("другой лаборатории (шифр клейма ДР)"))
            << report.unmatched[0].toStdString();
        EXPECT_TRUE(report.unmatched[1].contains("Z-9") &&
                    report.unmatched[1].contains("нет такой записи"));
        const std::optional<Record> r = store->Load(twice);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->revision.number, 1) << "a second import adds no revision";
        EXPECT_EQ(r->registry.vriId, "1-101");
        EXPECT_EQ(r->registry.docnum, Docnum("ЛАБ", "101"));
        EXPECT_TRUE(r->registry.seenAt.isValid());
        EXPECT_EQ(store->Load(byOrg)->registry.vriId, "1-104");
        for (qint64 id : {sameDay1, sameDay2, other})
            EXPECT_EQ(store->Load(id)->revision.number, 0) << "record " << id << " was guessed";
        EXPECT_TRUE(ChainWhole(*store));
    }
    EXPECT_EQ(StatusOf(*store, twice).state, RegistryState::InRegistry);
    EXPECT_EQ(StatusOf(*store, twice).vriId, "1-101");
    EXPECT_EQ(StatusOf(*store, other).state, RegistryState::Exported);
    // A correction after the match keeps it; the chain still holds.
    RecordInfo info = store->Load(twice)->info;
    info.owner = "ООО «Новый владелец»";
    ASSERT_TRUE(store->Correct(twice, info, "Петров", "смена владельца"));
    EXPECT_EQ(store->Load(twice)->registry.vriId, "1-101");
    EXPECT_TRUE(ChainWhole(*store));
    if (QString(GetParam()) == "sqlite") {
        // A registry column set, changed or cleared behind the program's back shows.
        QSqlQuery q(store->Database());
        // The owner of the file drops the guards first, as anyone holding it could.
        ASSERT_TRUE(q.exec("DROP TRIGGER records_no_update"));
        ASSERT_TRUE(q.exec("DROP TRIGGER records_closing_guard"));
        const QString edits[] = {
            "UPDATE records SET registry_vri_id = '1-999' WHERE id = %1 AND revision = 1",
            "UPDATE records SET registry_docnum = NULL WHERE id = %1 AND revision = 1",
            "UPDATE records SET registry_seen_utc = '2026-01-01T00:00:00.000Z' WHERE id = %2"};
        int n = 0;
        for (const QString& edit : edits) {
            SCOPED_TRACE(edit.toStdString());
            const QString copy = m_dir.filePath(QString("copy-%1.sqlite").arg(++n));
            ASSERT_TRUE(q.exec(QStringLiteral("VACUUM INTO '%1'").arg(copy)));
            RecordStore changed;
            ASSERT_TRUE(changed.Open(copy));
            QSqlQuery c(changed.Database());
            ASSERT_TRUE(c.exec(edit.arg(twice).arg(other))) << c.lastError().text().toStdString();
            ChainReport report;
            ASSERT_TRUE(changed.VerifyChain(report));
            EXPECT_TRUE(report.problems.join('\n').contains("изменено"))
                << report.problems.join('\n').toStdString();
        }
    }
    // One answer item matched to one record: the other of the same day is now
    // told apart only because the first is taken.
    RegistryImportReport report;
    ASSERT_TRUE(ImportRegistryAnswer(
        *store,
        *ReadRegistryAnswer(Answer({Item("1-106", "A-1", Docnum("ЛАБ", "106"))}), "b", &error), "b",
        "тест", report));
    ASSERT_EQ(report.ambiguous.size(), 1);
    EXPECT_TRUE(report.ambiguous[0].contains("уже сопоставлена"))
        << report.ambiguous[0].toStdString();
}

TEST_P(RegistryTest, TheStateOfEachRecordFiltersTheJournalAndThePendingList) {
    auto store = Connect();
    Record open = SampleRecord();
    ASSERT_TRUE(store->Begin(open));
    const qint64 never = Exported(*store, "N-1", 0);
    const qint64 waiting = Exported(*store, "W-1");
    const qint64 refused = Exported(*store, "R-1");
    const qint64 found = Exported(*store, "F-1");
    QString error;
    ASSERT_TRUE(RecordRefusal(*store, refused, "нет сведений об эталоне", "Иванов", &error))
        << error.toStdString();
    RegistryImportReport report;
    ASSERT_TRUE(ImportRegistryAnswer(
        *store, *ReadRegistryAnswer(Answer({Item("9", "F-1", Docnum("ЛАБ", "9"))}), "f", &error),
        "f", "тест", report));
    EXPECT_FALSE(RecordRefusal(*store, found, "поздно", "Иванов", &error))
        << "already in the registry";
    struct Case {
        int days;
        RegistryState state;
        QList<qint64> ids;
    };
    // An export of today has had no working day yet; with 0 days it is overdue at once.
    const Case cases[] = {
        {10, RegistryState::NotExported, {never}}, {10, RegistryState::Exported, {waiting}},
        {10, RegistryState::NotFound, {}},         {0, RegistryState::NotFound, {waiting}},
        {0, RegistryState::Exported, {}},          {10, RegistryState::Refused, {refused}},
        {10, RegistryState::InRegistry, {found}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(RegistryStateCaption(c.state).toStdString() + " " + std::to_string(c.days));
        JournalFilter f;
        f.registry = c.state;
        f.registryBound = NotFoundBound(QDate::currentDate(), c.days);
        EXPECT_EQ(JournalIds(store->Database(), f), QList<qint64>(c.ids.rbegin(), c.ids.rend()));
    }
    for (int days : {10, 0}) {
        QList<qint64> pending;
        ASSERT_TRUE(ForEachPending(
            *store, days, [&](const PendingRecord& p) { pending << p.id; }, &error));
        const QList<qint64> expected =
            days == 10 ? QList<qint64>{never, refused} : QList<qint64>{never, waiting, refused};
        EXPECT_EQ(pending, expected);
    }
    EXPECT_TRUE(ChainWhole(*store));
}

RECORDS_ON_BOTH_ENGINES(RegistryTest);

TEST(RegistryAnswer, WhatIsNotAnAnswerIsRefusedNamingTheFileAndTheField) {
    struct Case {
        const char* what;
        QByteArray json;
        QString named;
    };
    auto with = [](const char* field, const QJsonValue& value) {
        QJsonObject item = Item("1", "A-1", "");
        item[field] = value;
        return Answer({Item("0", "A-0", ""), item});
    };
    const Case cases[] = {
        {"not JSON", "<html>Сервис недоступен</html>", "не JSON"},
        {"an array", "[1, 2]", "result: нет объекта"},
        {"no items", R"({"result": {"count": 0}})", "result.items: нет списка"},
        {"count text", R"({"result": {"count": "много", "items": []}})", "result.count: не число"},
        {"date not a date", with("verification_date", "31.02.2026"),
         "result.items[1].verification_date: не дата «31.02.2026»"},
        {"date ISO", with("verification_date", "2026-12-08"), "items[1].verification_date"},
        {"valid date", with("valid_date", "завтра"), "result.items[1].valid_date: не дата"},
        {"serial missing", with("mi_number", QJsonValue()),
         "result.items[1].mi_number: не заполнено"},
        {"id an object", with("vri_id", QJsonObject{}), "result.items[1].vri_id: не строка"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QString error;
        EXPECT_FALSE(ReadRegistryAnswer(c.json, "/tmp/ответ.json", &error));
        EXPECT_TRUE(error.startsWith("/tmp/ответ.json: ") && error.contains(c.named))
            << error.toStdString();
    }
    QString error;
    const auto numeric = ReadRegistryAnswer(with("vri_id", 77), "x", &error);
    ASSERT_TRUE(numeric) << error.toStdString();
    EXPECT_EQ(numeric->items[1].vriId, "77");
    EXPECT_EQ(CipherOfDocnum("С-ВЯ/08-12-2026/1234"), "ВЯ");
    EXPECT_EQ(CipherOfDocnum("И-ЛАБ/08-12-2026/7"), "ЛАБ");
    EXPECT_EQ(CipherOfDocnum("12345"), "");
}

TEST(RegistryState, NotFoundCountsWorkingDaysOnly) {
    struct Case {
        QDate today;
        int days;
        QDate firstWaiting;  // the first export day not yet overdue
    };
    // 2026-12-07 is a Monday.
    const Case cases[] = {
        {QDate(2026, 12, 9), 1, QDate(2026, 12, 9)},    // Wednesday: Tuesday's export is overdue
        {QDate(2026, 12, 7), 1, QDate(2026, 12, 7)},    // Monday: the weekend's is too
        {QDate(2026, 12, 7), 2, QDate(2026, 12, 4)},    // with two, Friday's waits
        {QDate(2026, 12, 21), 10, QDate(2026, 12, 8)},  // two weeks back
        {QDate(2026, 12, 9), 0, QDate(2026, 12, 10)},
    };
    for (const Case& c : cases) {
        const QDateTime bound = NotFoundBound(c.today, c.days);
        EXPECT_EQ(bound.toLocalTime(), QDateTime(c.firstWaiting, QTime(0, 0)))
            << c.today.toString(Qt::ISODate).toStdString() << " " << c.days;
    }
}

// A small HTTP server on a real socket: each request is answered by `reply`
// (status, extra headers, body); a status of 0 never answers.
class RegistryServer {
  public:
    struct Reply {
        int status = 200;
        QByteArray headers, body;
    };
    explicit RegistryServer(std::function<Reply(const QUrlQuery&)> reply)
        : m_reply(std::move(reply)) {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    m_buffer[s] += s->readAll();
                    if (!m_buffer[s].contains("\r\n\r\n")) return;
                    const QByteArray line = m_buffer[s].left(m_buffer[s].indexOf("\r\n"));
                    const QUrl url("http://x" + QString::fromLatin1(line.split(' ').value(1)));
                    m_paths << url.path();
                    m_times << m_clock.elapsed();
                    const Reply r = m_reply(QUrlQuery(url));
                    if (r.status == 0) return;  // hangs
                    s->write("HTTP/1.1 " + QByteArray::number(r.status) +
                             " X\r\nContent-Type: "
                             "application/json\r\nConnection: close\r\n" +
                             r.headers + "Content-Length: " + QByteArray::number(r.body.size()) +
                             "\r\n\r\n" + r.body);
                    s->disconnectFromHost();
                });
            }
        });
        m_clock.start();
    }
    QString Base() const {
        return QStringLiteral("http://127.0.0.1:%1/proxy").arg(m_server.serverPort());
    }
    QStringList m_paths;
    QList<qint64> m_times;  // ms since the server started, of each request

  private:
    std::function<Reply(const QUrlQuery&)> m_reply;
    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_buffer;
    QElapsedTimer m_clock;
};

TEST_P(RegistryTest, FetchAsksTheSearchPolitelyAndKeepsWhatItFoundWhenTheServerFails) {
    auto store = Connect();
    const qint64 first = Exported(*store, "A-1");
    const qint64 second = Exported(*store, "A-2");
    Exported(*store, "A-2", 0);  // never exported: not asked for
    struct Case {
        const char* what;
        // The answer to the n-th request (from 0).
        std::function<RegistryServer::Reply(int n, const QUrlQuery&)> reply;
        bool ok;
        QString error;
        int requests;
        QList<qint64> found;
    };
    auto found = [](const QUrlQuery& q) {
        const QString serial = q.queryItemValue("mi_number");
        return RegistryServer::Reply{
            200, {}, Answer({Item("v-" + serial, serial, Docnum("ЛАБ", "1"))})};
    };
    const Case cases[] = {
        {"429 waited out",
         [&](int n, const QUrlQuery& q) {
             return n == 0 ? RegistryServer::Reply{429, "Retry-After: 1\r\n", "{}"} : found(q);
         },
         true,
         "",
         3,
         {first, second}},
        {"the second hangs",
         [&](int n, const QUrlQuery& q) {
             return n == 0 ? found(q) : RegistryServer::Reply{0, {}, {}};
         },
         false,
         "запрос 2 из 2 (тип 12345-24, зав. № A-2",
         2,
         {first}},
        {"an error page",
         [&](int n, const QUrlQuery& q) {
             return n == 0 ? found(q) : RegistryServer::Reply{200, {}, "<html>Ошибка</html>"};
         },
         false,
         "не JSON",
         2,
         {first}},
        {"always 429",
         [&](int, const QUrlQuery&) {
             return RegistryServer::Reply{429, "Retry-After: 0\r\n", "{}"};
         },
         false,
         "HTTP 429, 2 попыток",
         2,
         {}},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto fresh = Connect(m_server ? FreshDatabase()
                                      : m_dir.filePath(QString("f%1.sqlite").arg(++round)));
        const qint64 a = Exported(*fresh, "A-1"), b = Exported(*fresh, "A-2");
        ASSERT_EQ(QList<qint64>({a, b}), QList<qint64>({first, second}));
        int n = 0;
        RegistryServer server([&](const QUrlQuery& q) { return c.reply(n++, q); });
        RegistryFetchOptions o;
        o.baseUrl = server.Base();
        o.timeoutMs = 1500;
        o.retries = 1;
        RegistryFetchReport report;
        EXPECT_EQ(FetchRegistry(*fresh, o, report, {}), c.ok) << report.error.toStdString();
        EXPECT_TRUE(report.error.contains(c.error)) << report.error.toStdString();
        EXPECT_EQ(server.m_paths.size(), c.requests);
        for (const QString& path : server.m_paths) EXPECT_EQ(path, "/proxy/fundmetrology/eapi/vri");
        for (int i = 1; i < server.m_times.size(); ++i)
            EXPECT_GE(server.m_times[i] - server.m_times[i - 1], kRegistryRequestGapMs - 50);
        for (qint64 id : {a, b})
            EXPECT_EQ(fresh->Load(id)->registry.vriId.isEmpty(), !c.found.contains(id)) << id;
        EXPECT_TRUE(ChainWhole(*fresh));
    }
    RegistryFetchReport report;
    RegistryFetchOptions o;
    {
        QTcpServer closed;  // a port nobody listens on
        ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
        o.baseUrl = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
    }
    EXPECT_FALSE(FetchRegistry(*store, o, report, {}));
    EXPECT_TRUE(report.error.contains("сервер реестра недоступен (" + o.baseUrl))
        << report.error.toStdString();
    EXPECT_TRUE(report.error.contains("запрос 1 из 2")) << report.error.toStdString();
}

#ifdef YUKT_RECORDS_TOOL
int Tool(const QStringList& args, QString* out, QString* err) {
    QProcess p;
    p.start(YUKT_RECORDS_TOOL, args);
    EXPECT_TRUE(p.waitForFinished(60000));
    *out = QString::fromLocal8Bit(p.readAllStandardOutput());
    *err = QString::fromLocal8Bit(p.readAllStandardError());
    return p.exitCode();
}

TEST(RegistryTool, ImportsRefusesAndListsAndTheProtocolPrintsTheNumber) {
    QTemporaryDir dir;
    const QString m_url = dir.filePath("poverka.sqlite");
    qint64 a = 0, b = 0;
    {
        RecordStore store;
        ASSERT_TRUE(store.Open(m_url)) << store.LastError().toStdString();
        a = Exported(store, "A-1");
        b = Exported(store, "B-1", 0);
    }
    QTemporaryDir& m_dir = dir;
    const QString good = m_dir.filePath("good.json"), bad = m_dir.filePath("bad.json");
    QFile g(good), x(bad);
    ASSERT_TRUE(g.open(QIODevice::WriteOnly) && x.open(QIODevice::WriteOnly));
    g.write(Answer({Item("1-77", "A-1", Docnum("ЛАБ", "77")), Item("1-78", "Q-1", "")}));
    x.write(Answer({Item("1-79", "B-1", "", "ООО «Лаборатория»", "вчера")}));
    g.close();
    x.close();
    QString out, err;
    EXPECT_EQ(Tool({"registry", "import", good, bad, "--db", m_url}, &out, &err), 1);
    EXPECT_TRUE(err.contains(
        bad + ": result.items[0].verification_date: не дата «вчера»; ничего не записано"))
        << err.toStdString();
    EXPECT_EQ(Tool({"registry", "pending", "--json", "--days", "0", "--db", m_url}, &out, &err), 0)
        << err.toStdString();
    const QJsonArray before = QJsonDocument::fromJson(out.toUtf8()).array();
    ASSERT_EQ(before.size(), 2) << out.toStdString();
    EXPECT_EQ(before[0].toObject()["record"].toInteger(), b);
    EXPECT_EQ(before[0].toObject()["state"].toString(), "not_exported");
    EXPECT_EQ(before[1].toObject()["state"].toString(), "not_found");
    EXPECT_EQ(Tool({"registry", "import", good, "--db", m_url}, &out, &err), 3);
    EXPECT_TRUE(out.contains(QStringLiteral("Запись № %1 (зав. № A-1): в реестре, 1-77").arg(a)))
        << out.toStdString();
    EXPECT_TRUE(out.contains("Не сопоставлено: " + good + ": result.items[1]"))
        << out.toStdString();
    EXPECT_EQ(Tool({"registry", "refuse", "--record", QString::number(b), "--reason",
                    "не выгружалась", "--db", m_url},
                   &out, &err),
              0)
        << err.toStdString();
    EXPECT_EQ(Tool({"registry", "pending", "--db", m_url}, &out, &err), 0);
    EXPECT_TRUE(out.contains(QStringLiteral("%1\tотклонена\t745t\tB-1").arg(b)))
        << out.toStdString();
    EXPECT_FALSE(out.contains("A-1")) << out.toStdString();
    EXPECT_EQ(Tool({"registry", "fetch", "--url", "http://127.0.0.1:9", "--db", m_url}, &out, &err),
              0)
        << "nothing exported is waiting: nothing asked " << err.toStdString();
    {
        RecordStore store;
        ASSERT_TRUE(store.Open(m_url));
        FgisExportReport again;
        again.placed = {{b, "again.xml"}};
        QString error;
        ASSERT_TRUE(RecordExports(store, again, &error));
    }
    QString closed;
    {
        QTcpServer nobody;  // a port nobody listens on once it is closed
        ASSERT_TRUE(nobody.listen(QHostAddress::LocalHost));
        closed = QStringLiteral("http://127.0.0.1:%1").arg(nobody.serverPort());
    }
    EXPECT_EQ(
        Tool({"registry", "fetch", "--url", closed, "--timeout", "5", "--db", m_url}, &out, &err),
        1);
    EXPECT_TRUE(err.contains("Опрос реестра прерван на: запрос 1 из 1 (тип 12345-24, зав. № B-1") &&
                err.contains("сервер реестра недоступен (" + closed + ")"))
        << err.toStdString();
        // The registry's settings pass the settings' checks.
    EXPECT_EQ(Tool({"settings", "set", "registry.url", "ftp://proxy", "--db", m_url}, &out, &err), 2);
    EXPECT_TRUE(err.contains("Адрес поиска ФГИС «Аршин» — адрес http:// или https://"))
        << err.toStdString();
    EXPECT_EQ(Tool({"settings", "set", "registry.not_found_days", "-1", "--db", m_url}, &out, &err),
              2);
    EXPECT_EQ(Tool({"settings", "get", "registry.url", "--db", m_url}, &out, &err), 0);
    EXPECT_EQ(out.trimmed(), "https://fgis.gost.ru");
    EXPECT_EQ(Tool({"registry", "bogus", "--db", m_url}, &out, &err), 2);
    // The protocol of a record in the registry names it there.
    const QString pdf = m_dir.filePath("a.pdf");
    ASSERT_EQ(
        Tool({"protocol", "--id", QString::number(a), "--pdf", pdf, "--db", m_url}, &out, &err), 0);
    QProcess text;
    text.start("pdftotext", {"-layout", "-enc", "UTF-8", pdf, "-"});
    ASSERT_TRUE(text.waitForFinished(30000));
    EXPECT_TRUE(
        QString::fromUtf8(text.readAllStandardOutput())
            .simplified()
            .contains("Номер записи в ФГИС «Аршин»: 1-77, номер документа " + Docnum("ЛАБ", "77")));
}
#endif

}  // namespace
}  // namespace yukt::records::test
