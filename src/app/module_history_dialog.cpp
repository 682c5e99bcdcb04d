#include "app/module_history_dialog.h"

#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QHeaderView>
#include <QLineSeries>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

#include "records/ru_format.h"

namespace yukt {

using namespace records;

TModuleHistoryModel::TModuleHistoryModel(ModuleHistory history, QObject* parent)
    : QAbstractTableModel(parent), m_h(std::move(history)) {}

int TModuleHistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kHeaderRows + m_h.rows.size();
}

int TModuleHistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1 + m_h.records.size();
}

QVariant TModuleHistoryModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal) return {};
    if (section == 0) return role == Qt::DisplayRole ? QStringLiteral("Запись") : QVariant();
    if (section > m_h.records.size()) return {};
    const HistoryRecord& r = m_h.records[section - 1];
    if (role == Qt::DisplayRole) return QStringLiteral("№ %1").arg(r.id);
    if (role == kStartRole) return r.startedAt;
    return {};
}

QVariant TModuleHistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const int row = index.row(), column = index.column();
    if (row < kHeaderRows) {
        if (role != Qt::DisplayRole) return {};
        static const QStringList captions = {"Дата", "Результат", "Методика", "Свидетельство"};
        if (column == 0) return captions[row];
        const HistoryRecord& r = m_h.records[column - 1];
        switch (row) {
            case 0:
                return RuDate(r.startedAt.toLocalTime().date());
            case 1:
                return r.verdict;
            case 2:
                return r.methodologyId.isEmpty() ? r.methodology
                                                 : QStringLiteral("%1 ред. %2")
                                                       .arg(r.methodologyId)
                                                       .arg(r.methodologyRevision);
            default:
                return r.certificate;
        }
    }
    const HistoryRow& h = m_h.rows[row - kHeaderRows];
    if (column == 0) {
        if (role == Qt::DisplayRole) return h.Caption();
        if (role == kErrorRowRole) return h.IsError();
        return {};
    }
    const HistoryCell& c = h.cells[column - 1];
    if (role == kRatioRole) return c.hasRatio ? QVariant(c.ratio) : QVariant();
    if (role == Qt::ForegroundRole && c.result == QLatin1String("fail")) return QColor(Qt::darkRed);
    if (role != Qt::DisplayRole) return {};
    return HistoryCellText(h, c);
}

TModuleHistoryDialog::TModuleHistoryDialog(ModuleHistory history, double marginal, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("История модуля %1 № %2")
                       .arg(history.model.isEmpty() ? QString() : history.model, history.serial)
                       .simplified());
    m_model = new TModuleHistoryModel(std::move(history), this);
    m_table = new QTableView(this);
    m_table->setObjectName("HistoryTable");
    m_table->setModel(m_model);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_chart = new QChartView(this);
    m_chart->setObjectName("HistoryChart");
    m_chart->setRenderHint(QPainter::Antialiasing);
    m_chart->setMinimumHeight(260);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_table);
    split->addWidget(m_chart);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split);
    resize(900, 650);
    Draw(marginal);
}

QChart* TModuleHistoryDialog::Chart() const { return m_chart->chart(); }

void TModuleHistoryDialog::Draw(double marginal) {
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("|Погрешность| / предел"));
    auto* x = new QDateTimeAxis;
    x->setFormat("dd.MM.yyyy");
    auto* y = new QValueAxis;
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    double top = 1.2;
    qint64 first = 0, last = 0;
    const int columns = m_model->columnCount();
    for (int c = 1; c < columns; ++c) {
        const qint64 t = m_model->headerData(c, Qt::Horizontal, TModuleHistoryModel::kStartRole)
                             .toDateTime()
                             .toMSecsSinceEpoch();
        if (c == 1) first = t;
        last = t;
    }
    // Every error row with a ratio becomes a line, from the model's cells.
    for (int row = TModuleHistoryModel::kHeaderRows; row < m_model->rowCount(); ++row) {
        if (!m_model->index(row, 0).data(TModuleHistoryModel::kErrorRowRole).toBool()) continue;
        auto* s = new QLineSeries;
        s->setName(m_model->index(row, 0).data().toString());
        s->setPointsVisible(true);
        for (int c = 1; c < columns; ++c) {
            const QVariant ratio = m_model->index(row, c).data(TModuleHistoryModel::kRatioRole);
            if (!ratio.isValid()) continue;
            const qint64 t = m_model->headerData(c, Qt::Horizontal, TModuleHistoryModel::kStartRole)
                                 .toDateTime()
                                 .toMSecsSinceEpoch();
            s->append(double(t), ratio.toDouble());
            top = std::max(top, ratio.toDouble() * 1.1);
        }
        if (s->count() == 0) {
            delete s;
            continue;
        }
        chart->addSeries(s);
        s->attachAxis(x);
        s->attachAxis(y);
    }
    // The limit (and the marginal line) across the whole span.
    const qint64 pad = std::max<qint64>((last - first) / 20, 86400000);
    auto level = [&](double v, const QString& name, const QColor& colour) {
        auto* s = new QLineSeries;
        s->setName(name);
        s->setPen(QPen(colour, 1.5, Qt::DashLine));
        s->append(double(first - pad), v);
        s->append(double(last + pad), v);
        chart->addSeries(s);
        s->attachAxis(x);
        s->attachAxis(y);
    };
    level(1, QStringLiteral("Предел"), Qt::red);
    if (marginal > 0) level(marginal, QStringLiteral("Граница внимания"), QColor(0xd0, 0x80, 0));
    x->setRange(QDateTime::fromMSecsSinceEpoch(first - pad),
                QDateTime::fromMSecsSinceEpoch(last + pad));
    y->setRange(0, top);
    y->setLabelFormat("%.1f");
    m_chart->setChart(chart);
}

}  // namespace yukt
