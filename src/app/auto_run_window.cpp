#include "app/auto_run_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/error_chart.h"
#include "app/plan_view.h"
#include "records/record.h"
#include "records/ru_format.h"
#include "records/run_recorder.h"
#include "verify/procedure.h"
#include "verify/uncertainty.h"
#include "widgets/percent_gauge.h"

namespace yukt {

using namespace verify;

namespace {

constexpr int kColumns = 7, kResultColumn = 6;

QString withUnit(const QString& number, const QString& unit) {
    return unit.isEmpty() ? number : number + " " + unit;
}

}  // namespace

QStringList PointCells(const PointResult& p, Quantity q, const PlanItem* item) {
    // The record's own reading of the point: its unit, limit and decimals
    // are those the protocol prints.
    records::RecordPoint r;
    if (item != nullptr) {
        Attempt a;
        a.item = item->item;
        a.point = p;
        a.result = p.result;
        r = records::ToRecordPoint(*item, a);
    } else {
        r = records::ToRecordPoint(p, QString::fromUtf8(QuantityUnit(q)));
        r.resolution = p.resolution;
    }
    const records::PointDecimals d = records::DecimalsFor(r);
    const QString eu = records::ErrorUnit(r);
    const bool measured = p.result != PointVerdict::NotMeasured;
    const QString error = withUnit(records::RuNumber(p.error, d.error), eu);
    const QString limit =
        QStringLiteral("±") + withUnit(records::RuNumber(records::LimitAt(r), d.error), eu);
    return {
        p.channelNo > 0 ? QString::number(p.channelNo) : QString(),
        records::RuShort(p.nominal),
        records::RuNumber(p.reference, d.value),
        measured ? records::RuNumber(p.measured, d.value) : QString(),
        measured ? error : QString(),
        limit,
        p.result == PointVerdict::Pass
            ? (p.marginal ? QStringLiteral("годна, ") + QString::fromUtf8(kMarginalText)
                          : QStringLiteral("годна"))
        // A guard's refusal names its margin; the error alone is within the limit.
        : p.result == PointVerdict::Fail
            ? (p.reason.empty() ? QStringLiteral("не годна: погрешность ") + error +
                                      QStringLiteral(" при допуске ") + limit
                                : QString::fromStdString(p.reason))
            : QStringLiteral("не измерена: ") + QString::fromStdString(p.reason),
    };
}

TAutoRunWindow::TAutoRunWindow(QWidget* parent) : QDialog(parent) {
    setObjectName("AutoRunWindow");
    // A window of its own: a dialog would be kept above the main window.
    setWindowFlags(Qt::Window);
    setWindowTitle(QStringLiteral("Автоповерка"));
    setSizeGripEnabled(true);
    setMinimumSize(420, 260);
    resize(1040, 700);
    auto* layout = new QVBoxLayout(this);
    Title = new QLabel(this);
    Title->setWordWrap(true);
    Gauge = new PercentGauge(this);
    Gauge->setObjectName("AutoRunGauge");
    Gauge->setRange(0, 100);
    Points = new QTableWidget(0, kColumns, this);
    Points->setObjectName("AutoRunPoints");
    Points->setHorizontalHeaderLabels({QStringLiteral("канал"), QStringLiteral("задано"),
                                       QStringLiteral("эталон"), QStringLiteral("измерено"),
                                       QStringLiteral("погрешность"), QStringLiteral("допуск"),
                                       QStringLiteral("результат")});
    Points->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Points->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    Points->setWordWrap(true);
    // Numbers keep their width; the result takes the rest and wraps a long
    // reason over more lines of its row.
    QHeaderView* header = Points->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(kResultColumn, QHeaderView::Stretch);
    // Widths from the rows in view: every row of a run is written alike, and
    // measuring them all at each step costs a run the square of its points.
    header->setResizeContentsPrecision(0);
    // Each row is measured once, as it comes: rows sized to their contents
    // would all be measured again at every step. New column widths (a wider
    // value, the window resized) have them all measured again.
    connect(header, &QHeaderView::sectionResized, this, [this] {
        m_rowsMeasured = 0;
        LayOutRowsLater();
    });
    Banner = new QLabel(this);
    Banner->setObjectName("AutoRunBanner");
    Banner->setAlignment(Qt::AlignCenter);
    QFont big = Banner->font();
    big.setPointSize(16);
    big.setBold(true);
    Banner->setFont(big);
    // The verdict's room is kept from the start: the table does not shrink
    // under its last rows when the verdict comes.
    Banner->setMinimumHeight(QFontMetrics(big).height() + 6);
    ModuleVerdict = new QLabel(this);
    ModuleVerdict->setObjectName("AutoRunModuleVerdict");
    ModuleVerdict->setAlignment(Qt::AlignCenter);
    ModuleVerdict->setWordWrap(true);
    ModuleVerdict->setMinimumHeight(ModuleVerdict->fontMetrics().height() + 2);
    StopBtn = new QPushButton(QStringLiteral("Стоп"), this);
    StopBtn->setObjectName("AutoRunStopBtn");
    ModuleBtn = new QPushButton(QStringLiteral("Поверка модуля"), this);
    ModuleBtn->setObjectName("ModuleRunBtn");
    Plan = new TPlanView(this);
    Charts = new QTabWidget(this);
    Charts->setObjectName("AutoRunCharts");
    auto* right = new QSplitter(Qt::Vertical, this);
    right->addWidget(Points);
    right->addWidget(Charts);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(Plan);
    split->addWidget(right);
    split->setStretchFactor(1, 2);
    split->setSizes({380, 620});
    right->setSizes({200, 400});
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ModuleBtn);
    buttons->addStretch(1);
    buttons->addWidget(StopBtn);
    layout->addWidget(Title);
    layout->addWidget(Gauge);
    layout->addWidget(split, 1);
    layout->addWidget(Banner);
    layout->addWidget(ModuleVerdict);
    layout->addLayout(buttons);
    connect(StopBtn, &QPushButton::clicked, this, [this] {
        if (m_ended)
            hide();
        else
            emit stopRequested();
    });
}

void TAutoRunWindow::Begin(const QString& title) {
    Title->setText(title);
    Points->setRowCount(0);
    m_rowsMeasured = 0;
    while (Charts->count() > 0) {
        QWidget* page = Charts->widget(0);
        Charts->removeTab(0);
        delete page;
    }
    m_charts.clear();
    Chart = nullptr;
    Gauge->setValue(0);
    Banner->clear();
    ModuleVerdict->clear();
    StopBtn->setText(QStringLiteral("Стоп"));
    ModuleBtn->setEnabled(false);
    m_ended = false;
}

void TAutoRunWindow::AddPoint(const PointResult& p, Quantity q, const PlanItem* item,
                              const std::optional<ErrorSpan>& span) {
    const QStringList cells = PointCells(p, q, item);
    AddRow(cells, p.result == PointVerdict::Fail, cells[kResultColumn]);
    if (p.result == PointVerdict::NotMeasured) return;
    // One chart per operation, in a tab of its own; the one measured now
    // is shown.
    const QString op = QString::fromStdString(p.operation.empty() ? p.procedure : p.operation);
    TErrorChart* chart = m_charts.value(op);
    if (chart == nullptr) {
        chart = new TErrorChart;
        auto* page = new QWidget;
        auto* row = new QHBoxLayout(page);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(chart, 1);
        row->addWidget(chart->Legend());
        const int tab = Charts->addTab(page, op);
        Charts->setTabToolTip(tab, QString::fromStdString(p.procedure));
        Charts->setCurrentIndex(tab);
        m_charts.insert(op, chart);
    }
    Chart = chart;
    chart->AddPoint(p, q, span);
}

void TAutoRunWindow::AddAttempt(const PlanItem& item, const Attempt& attempt) {
    QString text = QString::fromStdString(item.operation + " " + item.title) + ": " +
                   (attempt.result == PointVerdict::Pass   ? QStringLiteral("соответствует")
                    : attempt.result == PointVerdict::Fail ? QStringLiteral("не соответствует")
                                                           : QStringLiteral("не выполнена"));
    const std::string remark = attempt.found.empty() ? attempt.remark : attempt.found;
    if (!remark.empty()) text += QStringLiteral(" — ") + QString::fromStdString(remark);
    QStringList cells;
    for (int c = 0; c < kColumns; ++c) cells << QString();
    cells[kResultColumn] = text;
    AddRow(cells, attempt.result == PointVerdict::Fail, text);
}

void TAutoRunWindow::AddNote(const QString& text) {
    QStringList cells;
    for (int c = 0; c < kColumns; ++c) cells << QString();
    cells[kResultColumn] = text;
    AddRow(cells, true, text);
}

void TAutoRunWindow::AddRow(const QStringList& cells, bool failed, const QString& tip) {
    const int row = Points->rowCount();
    Points->insertRow(row);
    for (int c = 0; c < kColumns; ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        // The row's reason or remark wherever the pointer is on it.
        item->setToolTip(tip);
        if (failed) item->setForeground(Qt::red);
        Points->setItem(row, c, item);
    }
    m_scrollWanted = true;
    LayOutRowsLater();
}

// The points of a series step come together: their rows are measured and the
// table scrolled once for them all.
void TAutoRunWindow::LayOutRowsLater() {
    if (m_layoutPending) return;
    m_layoutPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_layoutPending = false;
            const int rows = Points->rowCount();
            const int from = std::min(m_rowsMeasured, rows);
            // A row taller now may bring the scroll bar and narrow the
            // columns: that has them measured again, in a pass of its own.
            m_rowsMeasured = rows;
            for (int r = from; r < rows; ++r) Points->resizeRowToContents(r);
            // The table follows the row measured last, shown whole.
            if (rows > 0 && m_scrollWanted) Points->scrollToBottom();
            m_scrollWanted = false;
        },
        Qt::QueuedConnection);
}

void TAutoRunWindow::SetProgress(int percent) { Gauge->setValue(percent); }

void TAutoRunWindow::End(const QString& banner, bool fit, bool whole,
                         const QString& moduleVerdict) {
    QFont font = Banner->font();
    font.setPointSize(whole ? 16 : 12);
    Banner->setFont(font);
    Banner->setText(banner);
    QPalette pal = Banner->palette();
    pal.setColor(QPalette::WindowText, fit ? QColor(0, 128, 0) : QColor(Qt::red));
    Banner->setPalette(pal);
    ModuleVerdict->setText(moduleVerdict);
    StopBtn->setText(QStringLiteral("Закрыть"));
    ModuleBtn->setEnabled(true);
    m_ended = true;
    m_scrollWanted = true;
    LayOutRowsLater();
}

void TAutoRunWindow::PlaceBeside(const QWidget* main) {
    if (m_placed || main == nullptr || main->screen() == nullptr) return;
    m_placed = true;
    const QRect screen = main->screen()->availableGeometry();
    const QRect m = main->frameGeometry();
    constexpr int kGap = 8;
    // The free parts of the screen right of, left of, below and above the
    // main window; the window takes the largest, at most its usual size.
    const QRect free[] = {
        QRect(QPoint(m.right() + kGap, screen.top()), screen.bottomRight()),
        QRect(screen.topLeft(), QPoint(m.left() - kGap, screen.bottom())),
        QRect(QPoint(screen.left(), m.bottom() + kGap), screen.bottomRight()),
        QRect(screen.topLeft(), QPoint(screen.right(), m.top() - kGap)),
    };
    QRect best;
    for (const QRect& r : free)
        if (r.isValid() && r.width() * r.height() > best.width() * best.height()) best = r;
    if (best.isEmpty()) return;
    // The frame's own border and title bar come on top of the client area.
    const QSize frame = frameGeometry().size() - geometry().size();
    resize(size().boundedTo(best.size() - frame).expandedTo(minimumSize()));
    move(best.topLeft());
}

// The run must not go on unseen with the page locked: closing the window
// stops it, and the window stays for the verdict.
void TAutoRunWindow::closeEvent(QCloseEvent* event) {
    if (m_ended) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    emit stopRequested();
}

void TAutoRunWindow::reject() {
    if (m_ended)
        QDialog::reject();
    else
        emit stopRequested();
}

}  // namespace yukt
