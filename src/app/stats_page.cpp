#include "app/stats_page.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStackedBarSeries>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>

#include "records/lab_settings.h"
#include "records/record.h"
#include "records/ru_format.h"

namespace yukt {

using namespace records;

namespace {

QTableView* View(QStandardItemModel* model, const QString& name, QWidget* parent) {
    auto* v = new QTableView(parent);
    v->setObjectName(name);
    v->setModel(model);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->verticalHeader()->hide();
    v->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    return v;
}

void Fill(QStandardItemModel* m, const QStringList& captions, const QList<QStringList>& rows) {
    m->clear();
    m->setHorizontalHeaderLabels(captions);
    for (const QStringList& row : rows) {
        QList<QStandardItem*> items;
        for (const QString& cell : row) items << new QStandardItem(cell);
        m->appendRow(items);
    }
}

}  // namespace

TStatsPage::TStatsPage(const QSqlDatabase& db, QWidget* parent) : QDialog(parent), m_db(db) {
    setWindowTitle(QStringLiteral("Статистика"));
    auto* filters = new QHBoxLayout;
    m_modelFilter = new QComboBox(this);
    m_modelFilter->setObjectName("StatsModel");
    m_modelFilter->addItem(QString());
    m_modelFilter->addItems(LabSettings::Models());
    m_useFrom = new QCheckBox(QStringLiteral("с"), this);
    m_from = new QDateEdit(QDate::currentDate().addYears(-1), this);
    m_useTo = new QCheckBox(QStringLiteral("по"), this);
    m_to = new QDateEdit(QDate::currentDate(), this);
    for (QDateEdit* d : {m_from, m_to}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat("dd.MM.yyyy");
    }
    m_status = new QLabel(this);
    m_status->setObjectName("StatsStatus");
    filters->addWidget(new QLabel(QStringLiteral("Модель"), this));
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_modelFilter, m_useFrom, m_from, m_useTo, m_to, m_status})
        filters->addWidget(w);
    filters->addStretch();

    m_verdicts = new QStandardItemModel(this);
    m_items = new QStandardItemModel(this);
    m_people = new QStandardItemModel(this);
    m_chart = new QChartView(this);
    m_chart->setObjectName("VerdictsChart");
    m_chart->setMinimumHeight(240);
    auto* verdictsPage = new QWidget(this);
    auto* verdictsLayout = new QVBoxLayout(verdictsPage);
    verdictsLayout->addWidget(View(m_verdicts, "VerdictsTable", verdictsPage));
    verdictsLayout->addWidget(m_chart);
    auto* tabs = new QTabWidget(this);
    tabs->addTab(verdictsPage, QStringLiteral("Результаты по месяцам"));
    tabs->addTab(View(m_items, "ItemsTable", tabs), QStringLiteral("Погрешность по точкам"));
    tabs->addTab(View(m_people, "PeopleTable", tabs), QStringLiteral("Поверители и рабочие места"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(tabs);
    resize(900, 650);

    connect(m_modelFilter, &QComboBox::currentIndexChanged, this, &TStatsPage::Refresh);
    for (QCheckBox* c : {m_useFrom, m_useTo})
        connect(c, &QCheckBox::toggled, this, &TStatsPage::Refresh);
    for (QDateEdit* d : {m_from, m_to})
        connect(d, &QDateEdit::dateChanged, this, &TStatsPage::Refresh);
    Refresh();
}

StatsFilter TStatsPage::Filter() const {
    StatsFilter f;
    f.model = m_modelFilter->currentText();
    if (m_useFrom->isChecked()) f.from = m_from->date();
    if (m_useTo->isChecked()) f.to = m_to->date();
    return f;
}

QChart* TStatsPage::Chart() const { return m_chart->chart(); }

void TStatsPage::Refresh() {
    const StatsFilter f = Filter();
    if (f.from.isValid() && f.to.isValid() && f.from > f.to) {
        m_status->setText(QStringLiteral("Начало периода позже его конца"));
        return;
    }
    QString error;
    const std::optional<LabStats> s = ReadLabStats(m_db, f, &error);
    if (!s) {
        m_status->setText(error);
        return;
    }
    m_status->setText(s->months.isEmpty() ? QStringLiteral("Записей нет") : QString());
    QList<QStringList> rows;
    for (const MonthVerdicts& m : s->months)
        rows << QStringList{m.model,
                            m.month,
                            QString::number(m.suitable),
                            QString::number(m.unsuitable),
                            QString::number(m.interrupted),
                            QString::number(m.Total())};
    Fill(m_verdicts, {"Модель", "Месяц", kSuitable, kUnsuitable, kInterrupted, "Всего"}, rows);
    rows.clear();
    for (const ItemStats& i : s->items)
        rows << QStringList{i.model,
                            i.operation,
                            i.channelNo > 0 ? QString::number(i.channelNo) : i.channel,
                            RuShort(i.nominal) + (i.unit.isEmpty() ? "" : " " + i.unit),
                            QString::number(i.count),
                            RuNumber(i.meanRatio, 3),
                            RuNumber(i.maxRatio, 3),
                            RuNumber(i.shareAbove08 * 100, 1) + " %",
                            QString::number(i.failures)};
    Fill(m_items,
         {"Модель", "Операция", "Канал", "Номинал", "Измерений", "Среднее |Δ|/предел",
          "Наибольшее |Δ|/предел", "Доля выше 0,8", "Не годен"},
         rows);
    rows.clear();
    for (const PeopleStats& p : s->people)
        rows << QStringList{p.model, p.operatorName, p.station, QString::number(p.records)};
    Fill(m_people, {"Модель", "Поверитель", "Рабочее место", "Записей"}, rows);
    DrawChart(*s);
}

// Verdicts per month of every model shown, stacked.
void TStatsPage::DrawChart(const LabStats& s) {
    QMap<QString, std::array<qint64, 3>> months;
    for (const MonthVerdicts& m : s.months) {
        auto& counts = months[m.month];
        counts[0] += m.suitable;
        counts[1] += m.unsuitable;
        counts[2] += m.interrupted;
    }
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("Записи по месяцам"));
    auto* series = new QStackedBarSeries;
    const QString names[] = {kSuitable, kUnsuitable, kInterrupted};
    const QColor colours[] = {QColor(0x2c, 0xa0, 0x2c), QColor(0xd6, 0x27, 0x28),
                              QColor(0x99, 0x99, 0x99)};
    qint64 most = 1;
    for (int k = 0; k < 3; ++k) {
        auto* set = new QBarSet(names[k]);
        set->setColor(colours[k]);
        for (const auto& counts : months) *set << double(counts[k]);
        series->append(set);
    }
    for (const auto& counts : months) most = std::max(most, counts[0] + counts[1] + counts[2]);
    chart->addSeries(series);
    auto* x = new QBarCategoryAxis;
    x->append(months.keys());
    auto* y = new QValueAxis;
    y->setRange(0, double(most));
    y->setLabelFormat("%d");
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    m_chart->setChart(chart);
}

}  // namespace yukt
