// yukt-records report: the journal as a static site for a browser.
#include <cstdio>

#include "records/html_report.h"
#include "records/terminal_progress.h"
#include "records_analysis_common.h"

namespace yukt::records {

int ReportCommand(int argc, char* argv[]) {
    using namespace analysis;
    QCommandLineParser args;
    if (const int status = Parse(args, argc, argv,
                                 {{"html", "the folder to write the site into", "DIR"},
                                  {"from", "first date, YYYY-MM-DD", "DATE"},
                                  {"to", "last date, YYYY-MM-DD", "DATE"},
                                  {"protocols", "write each record's protocol PDF into the site"},
                                  {"force", "replace a folder that is not empty"}});
        status >= 0)
        return status;
    HtmlReportOptions options;
    options.dir = args.value("html");
    if (options.dir.isEmpty())
        return Complain(QStringLiteral("использование: yukt-records report --html DIR "
                                       "[--from DATE] [--to DATE] [--protocols] [--force]"),
                        2);
    if (const int status = ParseRange(args, &options.from, &options.to); status >= 0) return status;
    options.force = args.isSet("force");
    options.protocols = args.isSet("protocols");
    RecordStore store;
    // A report only reads: an auditor's SELECT-only role or a read-only file serves.
    store.SetReadOnly(true);
    int status = 0;
    if (!Open(store, args, &status)) return status;
    TerminalProgress bar(QStringLiteral("Отчёт"));
    options.progress = [&bar](qint64 done, qint64 total) {
        bar.Show(done, total);
        return true;
    };
    const HtmlReportResult result = WriteHtmlReport(store, options);
    bar.Done();
    if (result.refused) return Complain(result.error, 2);
    if (!result.error.isEmpty()) return Complain(result.error, 1);
    std::printf("%s\n", QStringLiteral("Отчёт записан: %1 (записей %2, модулей %3, страниц %4)")
                            .arg(options.dir)
                            .arg(result.records)
                            .arg(result.modules)
                            .arg(result.pages)
                            .toLocal8Bit()
                            .constData());
    return 0;
}

}  // namespace yukt::records
