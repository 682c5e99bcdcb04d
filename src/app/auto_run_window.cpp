#include "app/auto_run_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/error_chart.h"
#include "app/plan_view.h"
#include "app/ru_numbers.h"
#include "records/ru_format.h"
#include "verify/procedure.h"
#include "widgets/percent_gauge.h"

namespace yukt {

using namespace verify;

namespace {

constexpr int kColumns = 7, kResultColumn = 6;

QString unitOf(ErrorKind k, Quantity q) {
    return k == ErrorKind::Abs ? QString::fromUtf8(QuantityUnit(q)) : QStringLiteral("%");
}

}  // namespace

QStringList PointCells(const PointResult& p, Quantity q) {
    const bool measured = p.result != PointVerdict::NotMeasured;
    const QString eu = unitOf(p.errorKind, q);
    // The error as it was judged: to its tolerance's resolution.
    const int decimals = p.resolution > 0 ? records::DecimalsOf(p.resolution) : 4;
    return {
        p.channelNo > 0 ? QString::number(p.channelNo) : QString(),
        RuFloat(p.nominal),
        RuFloat(p.reference),
        measured ? RuFloat(p.measured) : QString(),
        measured ? RuFixed(p.error, decimals) + " " + eu : QString(),
        RuFloat(p.limit) + " " + eu,
        p.result == PointVerdict::Pass ? QStringLiteral("годна")
        : p.result == PointVerdict::Fail
            ? QStringLiteral("не годна")
            : QStringLiteral("не измерена: ") + QString::fromStdString(p.reason),
    };
}

TAutoRunWindow::TAutoRunWindow(QWidget* parent) : QDialog(parent) {
    setObjectName("AutoRunWindow");
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
    ModuleVerdict = new QLabel(this);
    ModuleVerdict->setObjectName("AutoRunModuleVerdict");
    ModuleVerdict->setAlignment(Qt::AlignCenter);
    ModuleVerdict->setWordWrap(true);
    StopBtn = new QPushButton(QStringLiteral("Стоп"), this);
    StopBtn->setObjectName("AutoRunStopBtn");
    ModuleBtn = new QPushButton(QStringLiteral("Поверка модуля"), this);
    ModuleBtn->setObjectName("ModuleRunBtn");
    Plan = new TPlanView(this);
    Chart = new TErrorChart(this);
    auto* right = new QSplitter(Qt::Vertical, this);
    right->addWidget(Points);
    right->addWidget(Chart);
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
    Chart->Clear();
    Gauge->setValue(0);
    Banner->clear();
    ModuleVerdict->clear();
    StopBtn->setText(QStringLiteral("Стоп"));
    ModuleBtn->setEnabled(false);
    m_ended = false;
}

void TAutoRunWindow::AddPoint(const PointResult& p, Quantity q,
                              const std::optional<ErrorSpan>& span) {
    const int row = Points->rowCount();
    Points->insertRow(row);
    const QStringList cells = PointCells(p, q);
    for (int c = 0; c < kColumns; ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        item->setToolTip(cells[c]);
        if (p.result == PointVerdict::Fail) item->setForeground(Qt::red);
        Points->setItem(row, c, item);
    }
    Chart->AddPoint(p, q, span);
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
            if (rows > 0 && m_scrollWanted) Points->scrollToItem(Points->item(rows - 1, 0));
            m_scrollWanted = false;
        },
        Qt::QueuedConnection);
}

void TAutoRunWindow::SetProgress(int percent) { Gauge->setValue(percent); }

void TAutoRunWindow::End(RunVerdict v, const QString& moduleVerdict) {
    const QString text = v == RunVerdict::Fit     ? QStringLiteral("ГОДЕН")
                         : v == RunVerdict::Unfit ? QStringLiteral("НЕ ГОДЕН")
                                                  : QStringLiteral("ПРЕРВАНО");
    const QColor colour = v == RunVerdict::Fit ? QColor(0, 128, 0) : QColor(Qt::red);
    Banner->setText(text);
    QPalette pal = Banner->palette();
    pal.setColor(QPalette::WindowText, colour);
    Banner->setPalette(pal);
    ModuleVerdict->setText(moduleVerdict);
    StopBtn->setText(QStringLiteral("Закрыть"));
    ModuleBtn->setEnabled(true);
    m_ended = true;
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
