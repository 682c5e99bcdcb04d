#include "records/analysis_fixture.h"

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QTimeZone>

#include "records/records_fixture.h"

namespace yukt::records::test {
namespace {

struct Fx {
    const char* date;  // at 12:00 UTC: the same local month at any offset
    const char* model;
    const char* serial;
    const char* operatorName;
    // 745t: (plan item 3 or 4, error); 748t: (nominal, error). In the order measured.
    QList<QPair<double, double>> points;
    bool stopped = false;
    bool leftOpen = false;
    const char* correctedOwner = nullptr;  // a later revision names the owner
};

const QList<Fx>& Table() {
    static const QList<Fx> table = {
        {"2025-01-15", "745t", "S-1", "Иванов И. И.", {{3, 0.01}, {4, 0.02}}},
        {"2025-01-20", "745t", "S-2", "Петров П. П.", {{3, 0.045}, {4, 0.01}}},
        {"2025-01-25", "745t", "S-3", "Иванов И. И.", {{3, 0.06}, {4, 0.01}}},
        {"2025-02-10", "745t", "S-4", "Иванов И. И.", {{3, 0.02}, {4, -0.07}, {4, 0.03}}},
        {"2025-02-15", "745t", "S-5", "Петров П. П.", {{3, 0.01}}, true},
        {"2025-06-15", "745t", "S-1", "Иванов И. И.", {{3, 0.02}, {4, 0.03}}},
        {"2025-06-20", "745t", "S-2", "Петров П. П.", {{3, -0.03}, {4, 0.042}}},
        {"2026-01-15", "745t", "S-1", "Иванов И. И.", {{3, 0.045}, {4, 0.06}}},
        {"2026-02-15",
         "745t",
         "S-1",
         "Петров П. П.",
         {{3, 0.01}, {4, 0.01}},
         false,
         false,
         "АО «Новый владелец»"},
        {"2026-02-20", "745t", "S-6", "Сидоров С. С.", {{3, 0.0}, {4, 0.0}}},
        {"2025-01-18", "748t", "S-1", "Иванов И. И.", {{4, 0.05}, {12, 0.02}}},
        {"2025-03-10", "748t", "T-1", "Петров П. П.", {{4, 0.09}, {12, 0.11}}},
        {"2025-03-12", "748t", "T-2", "Петров П. П.", {{4, -0.02}, {12, 0.03}}},
        {"2025-03-14", "748t", "T-3", "Иванов И. И.", {{4, 0.0}, {12, 0.085}}},
        {"2025-04-01", "748t", "T-1", "Иванов И. И.", {{4, 0.01}, {12, 0.01}}},
        {"2025-04-02", "748t", "T-4", "Иванов И. И.", {{4, 0.02}, {12, 0.02}}},
        {"2025-04-03", "748t", "T-5", "Иванов И. И.", {{4, 0.12}, {12, 0.0}}},
        {"2025-04-04", "748t", "T-6", "Иванов И. И.", {{4, 0.03}}, true},
        {"2025-04-05", "748t", "T-7", "Иванов И. И.", {{4, 0.04}, {12, 0.05}}},
        {"2025-04-06", "748t", "T-8", "Иванов И. И.", {{4, 0.01}}, false, true},
    };
    return table;
}

}  // namespace

bool FillAnalysisFixture(RecordStore& store, QString* error) {
    QDateTime now;
    store.SetClock([&now] { return now; });
    auto fail = [&] {
        *error = store.LastError();
        store.SetClock({});
        return false;
    };
    for (const Fx& f : Table()) {
        now = QDateTime(QDate::fromString(f.date, Qt::ISODate), QTime(12, 0), QTimeZone::utc());
        Record r = SampleRecord();
        r.module.model = f.model;
        r.info.serial = f.serial;
        r.info.operatorName = f.operatorName;
        const bool plan = QString(f.model) == "745t";
        if (plan) {
            r.methodologyId = "МП 745-2025";
            r.methodologyRevision = 2;
            r.methodologySha256 = QString(64, 'b');
            r.softwareFound = "745t v01";
            r.plan = {{1, "5.1", "Внешний осмотр", "inspection", 0, 0, "", {}},
                      {2, "5.3", "Идентификация ПО", "software", 0, 0, "", {}},
                      {3, "5.4", "Погрешность", "error", 11, 4, "мА", {}},
                      {4, "5.4", "Погрешность", "error", 11, 20, "мА", {}}};
        }
        if (!store.Begin(r)) return fail();
        QList<RecordPoint> points;
        QHash<int, int> tries;
        if (plan)
            for (int item : {1, 2}) {
                RecordPoint p = SamplePoint(0, 0, 0);
                p.manual = true;
                p.result = "pass";
                p.errorKind.clear();
                p.item = item;
                p.attempt = ++tries[item];
                p.operation = r.plan[item - 1].operation;
                p.remark = item == 1 ? "без замечаний" : "745t v01";  // the identification found
                points << p;
            }
        for (const auto& [key, err] : f.points) {
            const double nominal = plan ? r.plan[int(key) - 1].nominal : key;
            RecordPoint p = SamplePoint(nominal, nominal + err, plan ? 0.05 : 0.1);
            if (plan) {
                p.item = int(key);
                p.attempt = ++tries[p.item];
                p.operation = "5.4";
                p.channelNo = 11;
            }
            points << p;
        }
        if (!store.AddPoints(r.id, points)) return fail();
        if (f.leftOpen) continue;
        if (!store.Close(r.id, f.stopped ? kInterrupted : QString())) return fail();
        if (f.correctedOwner) {
            now = now.addDays(1);
            RecordInfo info = r.info;
            info.owner = f.correctedOwner;
            if (!store.Correct(r.id, info, "Старший", "опечатка во владельце")) return fail();
        }
    }
    store.SetClock({});
    return true;
}

}  // namespace yukt::records::test
