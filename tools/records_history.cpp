// yukt-records history: the records of one module, oldest first.
#include "records/module_history.h"
#include "records_analysis_common.h"

namespace yukt::records {

int HistoryCommand(int argc, char* argv[]) {
    using namespace analysis;
    QCommandLineParser args;
    if (const int status = Parse(args, argc, argv,
                                 {{"serial", "the module's serial number", "S"},
                                  {"model", "the module's model", "M"},
                                  {"json", "as JSON"},
                                  {"csv", "as CSV"}});
        status >= 0)
        return status;
    const QString serial = args.value("serial").trimmed();
    if (serial.isEmpty() || (args.isSet("json") && args.isSet("csv")))
        return Complain(QStringLiteral("использование: yukt-records history --serial S [--model M] "
                                       "[--json | --csv] [--db URL]"),
                        2);
    RecordStore store;
    int status = 0;
    if (!Open(store, args, &status)) return status;
    QString error;
    const std::optional<ModuleHistory> h =
        LoadModuleHistory(store, serial, args.value("model").trimmed(), &error);
    if (!h) return Complain(error, 1);
    if (args.isSet("json"))
        Print(HistoryJson(*h));
    else if (args.isSet("csv"))
        Print(HistoryCsv(*h).toUtf8());
    else if (!h->records.isEmpty())
        Print(HistoryText(*h).toLocal8Bit());
    if (h->records.isEmpty()) {
        const QString model = args.value("model").trimmed();
        return Complain(QStringLiteral("нет записей о модуле с заводским номером %1%2")
                            .arg(serial, model.isEmpty() ? QString() : " модели " + model),
                        3);
    }
    return 0;
}

}  // namespace yukt::records
