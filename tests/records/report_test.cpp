// yukt-records report: the site written from the twenty records of
// analysis_fixture.cpp, opened page by page in a headless browser that reads
// it from the file system as the head of the laboratory would.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include "records/analysis_fixture.h"
#include "records/lab_references.h"
#include "records/records_fixture.h"
#include "verify/procedure_library.h"

namespace yukt::records::test {
namespace {

#ifdef YUKT_RECORDS_TOOL
struct ReportRun {
    int status;
    QString out, err;
};

ReportRun Report(const QStringList& args) {
    QProcess p;
    p.start(YUKT_RECORDS_TOOL, QStringList{"report"} + args);
    EXPECT_TRUE(p.waitForFinished(300000));
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

// The page as the browser built it, and what its console said.
struct Loaded {
    QString dom;
    QStringList console;
};

Loaded Open(const QString& browser, const QString& page) {
    QProcess p;
    p.start(browser, {"--no-sandbox", "--disable-gpu", "--enable-logging=stderr", "--v=0",
                      "--user-data-dir=" + QDir::tempPath() + "/yukt-report-browser", "--dump-dom",
                      "file://" + page});
    EXPECT_TRUE(p.waitForFinished(120000)) << page.toStdString();
    Loaded l{QString::fromUtf8(p.readAllStandardOutput()), {}};
    for (const QString& line : QString::fromUtf8(p.readAllStandardError()).split('\n'))
        if (line.contains("CONSOLE")) l.console << line;
    return l;
}

QStringList All(const QString& text, const QString& pattern) {
    QStringList out;
    auto it = QRegularExpression(pattern).globalMatch(text);
    while (it.hasNext()) out << it.next().captured(1);
    return out;
}

class ReportTest : public EngineTest {};

TEST_P(ReportTest, TheSiteOpensInABrowserWithTheJournalsFigures) {
    {
        auto store = Connect();
        QString error;
        ASSERT_TRUE(FillAnalysisFixture(*store, &error)) << error.toStdString();
        // The register: one reference due within 30 days, one later, one due but retired.
        const QDate today = QDate::currentDate();
        for (const auto& [number, until] : {std::pair{"КИ-ДУ-1", today.addDays(12)},
                                            std::pair{"КИ-ДУ-2", today.addDays(90)},
                                            std::pair{"КИ-ДУ-3", today.addDays(5)}}) {
            LabReference ref;
            ref.number = number;
            ref.kind = kMietaKind;
            ref.name = QStringLiteral("Калибратор %1").arg(number);
            ref.serial = QStringLiteral("0042");
            ref.certificate = QStringLiteral("С-ГП/1");
            ref.validUntil = until;
            ref.quantities = {"current"};
            ASSERT_TRUE(AddReference(*store, ref, &error)) << error.toStdString();
        }
        ASSERT_TRUE(RetireReference(*store, "КИ-ДУ-3", "списан", &error)) << error.toStdString();
    }
    // The laboratory's methodology of the 745t records draws the marginal line.
    const QString methodologies = m_dir.filePath("data/poverka/methodologies");
    {
        QFile shipped(QString::fromStdString(verify::ShippedMethodologyDir()) + "/745t.toml");
        ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(shipped.readAll());
        text.replace(QRegularExpression("^id = \"МП .*$", QRegularExpression::MultilineOption),
                     "id = \"МП 745-2025\"");
        text.replace(QRegularExpression("^revision = .*$", QRegularExpression::MultilineOption),
                     "revision = 2\nmarginal = 0.8");
        ASSERT_TRUE(QDir().mkpath(methodologies));
        QFile mine(methodologies + "/mine.toml");
        ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
        mine.write(text.toUtf8());
    }
    qputenv("XDG_DATA_HOME", m_dir.filePath("data").toUtf8());
    const QString site = m_dir.filePath("site");
    ReportRun r =
        Report({"--html", site, "--db", m_url, "--from", "2026-03-01", "--to", "2025-01-01"});
    EXPECT_EQ(r.status, 2) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(site));
    r = Report({"--html", site, "--db", m_url});
    qunsetenv("XDG_DATA_HOME");
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("записей 20, модулей 15")) << r.out.toStdString();
    EXPECT_FALSE(r.err.contains('\r') || r.err.contains('\033'))
        << "no bar when not on a terminal: " << r.err.toStdString();
    // An existing report is kept unless asked; no temporary folder is left.
    r = Report({"--html", site, "--db", m_url, "--from", "2026-01-01"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("не пуста")) << r.err.toStdString();
    EXPECT_EQ(QDir(m_dir.path())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                  .filter("site")
                  .size(),
              1);

    QStringList pages;
    QDirIterator it(site, {"*.html"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) pages << it.next();
    pages.sort();
    EXPECT_EQ(pages.size(), 4 + 15);  // index, journal, modules, stats, a page per module
    for (const QString& page : pages) {
        const QString html = [&] {
            QFile f(page);
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        }();
        EXPECT_FALSE(html.contains("<script") || html.contains("http://") ||
                     html.contains("https://") || html.contains("@import"))
            << page.toStdString();
        // Every link is a file of the site.
        for (const QString& href : All(html, "(?:href|src)=\"([^\"#]+)\""))
            EXPECT_TRUE(QFileInfo::exists(QFileInfo(page).dir().filePath(href)))
                << page.toStdString() << " → " << href.toStdString();
    }
    if (QString(GetParam()) != "sqlite") return;  // the pages are the same on both engines

    const QString browser = QStandardPaths::findExecutable("chromium-headless-shell");
    ASSERT_FALSE(browser.isEmpty()) << "scripts/install-deps installs chromium-headless-shell";
    QHash<QString, Loaded> loaded;
    for (const QString& page : pages) {
        Loaded l = Open(browser, page);
        EXPECT_TRUE(l.console.isEmpty())
            << page.toStdString() << ": " << l.console.join('\n').toStdString();
        EXPECT_TRUE(l.dom.contains("</table>") || l.dom.contains("<p>")) << page.toStdString();
        loaded[QDir(site).relativeFilePath(page)] = l;
    }
    const QString index = loaded["index.html"].dom;
    EXPECT_TRUE(
        QRegularExpression("<table id=\"counts\">.*<td class=\"n\">20</td><td class=\"n\">13"
                           "</td><td class=\"n\">4</td><td class=\"n\">2</td><td class=\"n\">"
                           "15</td>",
                           QRegularExpression::DotMatchesEverythingOption)
            .match(index)
            .hasMatch())
        << index.toStdString();
    const QRegularExpressionMatch dueRefs =
        QRegularExpression("<table id=\"due-references\">(.*?)</table>",
                           QRegularExpression::DotMatchesEverythingOption)
            .match(index);
    ASSERT_TRUE(dueRefs.hasMatch()) << index.toStdString();
    EXPECT_EQ(dueRefs.captured(1).count("<tr>"), 1 + 1) << dueRefs.captured(1).toStdString();
    EXPECT_TRUE(dueRefs.captured(1).contains(
        "<td>" + QDate::currentDate().addDays(12).toString("dd.MM.yyyy") +
        "</td><td>Калибратор КИ-ДУ-1</td><td>КИ-ДУ-1</td>"))
        << dueRefs.captured(1).toStdString();
    EXPECT_EQ(loaded["journal-1.html"].dom.count("<tr>"), 1 + 20);

    // The module page of 745t S-1: its four verifications and the drift of 20 mA.
    const QString modules = loaded["modules.html"].dom;
    const QRegularExpressionMatch link =
        QRegularExpression(
            "<td>745t</td><td><a href=\"([^\"]+)\">S-1</a></td><td class=\"n\">4</td>")
            .match(modules);
    ASSERT_TRUE(link.hasMatch()) << modules.toStdString();
    const QString module = loaded[link.captured(1)].dom;
    EXPECT_EQ(module.count("class=\"limit\" data-value=\"1\""), 1);
    EXPECT_EQ(module.count("class=\"marginal\" data-value=\"0.8\""), 1);
    EXPECT_TRUE(module.contains(">Граница внимания</text>"));
    // A module whose records name no methodology file has no such line.
    const QRegularExpressionMatch other =
        QRegularExpression("<td>748t</td><td><a href=\"([^\"]+)\">S-1</a></td>").match(modules);
    ASSERT_TRUE(other.hasMatch()) << modules.toStdString();
    EXPECT_FALSE(loaded[other.captured(1)].dom.contains("class=\"marginal\""));
    const QRegularExpressionMatch series =
        QRegularExpression("data-series=\"5.4, Канал 11, 20 мА\">(.*?)</g>",
                           QRegularExpression::DotMatchesEverythingOption)
            .match(module);
    ASSERT_TRUE(series.hasMatch()) << module.toStdString();
    EXPECT_EQ(All(series.captured(1), "data-ratio=\"([^\"]+)\""),
              QStringList({"0.4", "0.6", "1.2", "0.2"}));
    EXPECT_EQ(All(series.captured(1), "data-date=\"([^\"]+)\""),
              QStringList({"2025-01-15", "2025-06-15", "2026-01-15", "2026-02-15"}));

    const QString stats = loaded["stats.html"].dom;
    for (const char* bar : {"data-month=\"2025-04\" data-verdict=\"годен\" data-count=\"3\"",
                            "data-month=\"2025-04\" data-verdict=\"прервано\" data-count=\"1\"",
                            "data-month=\"2026-01\" data-verdict=\"не годен\" data-count=\"1\""})
        EXPECT_TRUE(stats.contains(QString::fromUtf8(bar))) << bar;
    EXPECT_TRUE(
        stats.contains("<td>5.4</td><td>11</td><td>4 мА</td><td class=\"n\">10</td>"
                       "<td class=\"n\">0,500</td><td class=\"n\">1,200</td>"
                       "<td class=\"n\">30,0 %</td><td class=\"n\">1</td>"))
        << stats.toStdString();
}

RECORDS_ON_BOTH_ENGINES(ReportTest);
#endif

}  // namespace
}  // namespace yukt::records::test
