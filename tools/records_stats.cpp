// yukt-records stats: the laboratory's statistics over a range.
#include "records/lab_stats.h"
#include "records_analysis_common.h"

namespace yukt::records {

int StatsCommand(int argc, char* argv[]) {
    using namespace analysis;
    QCommandLineParser args;
    if (const int status = Parse(args, argc, argv,
                                 {{"model", "one model", "M"},
                                  {"from", "first date, YYYY-MM-DD", "DATE"},
                                  {"to", "last date, YYYY-MM-DD", "DATE"},
                                  {"station", "one workstation (host name)", "HOST"},
                                  {"json", "as JSON"},
                                  {"csv", "as CSV"}});
        status >= 0)
        return status;
    if (args.isSet("json") && args.isSet("csv"))
        return Complain(QStringLiteral("--json и --csv вместе не задаются"), 2);
    StatsFilter filter;
    if (const int status = ParseRange(args, &filter.from, &filter.to); status >= 0) return status;
    filter.model = args.value("model").trimmed();
    filter.station = args.value("station").trimmed();
    RecordStore store;
    int status = 0;
    if (!Open(store, args, &status)) return status;
    QString error;
    const std::optional<LabStats> s = ReadLabStats(store.Database(), filter, &error);
    if (!s) return Complain(error, 1);
    if (args.isSet("json"))
        Print(StatsJson(*s));
    else if (args.isSet("csv"))
        Print(StatsCsv(*s).toUtf8());
    else
        Print(StatsText(*s).toLocal8Bit());
    if (s->months.isEmpty()) Complain(QStringLiteral("нет записей за этот период"), 0);
    return 0;
}

}  // namespace yukt::records
