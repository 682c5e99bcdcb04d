#include "app/journal_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/record_info_dialog.h"
#include "app/settings_dialog.h"
#include "records/db_location.h"
#include "records/fgis_export.h"
#include "records/journal_csv.h"
#include "records/lab_settings.h"
#include "records/protocol_pdf.h"
#include "records/record_feed.h"
#include "records/ru_format.h"

namespace yukt {

using namespace records;

// One page of the journal query, with times shown in local time.
class TJournalModel : public QSqlQueryModel {
  public:
    using QSqlQueryModel::QSqlQueryModel;
    QVariant data(const QModelIndex& index, int role) const override {
        const QVariant v = QSqlQueryModel::data(index, role);
        if (role != Qt::DisplayRole) return v;
        if (index.column() == kJStarted)
            return LocalDateTime(QDateTime::fromString(v.toString(), Qt::ISODateWithMs));
        if (index.column() == kJVerdict && v.toString().isEmpty())
            return QStringLiteral("в работе");
        return v;
    }
};

namespace {

const QStringList kHeaders = {"№",      "Ред.",      "Дата",       "Модель",        "Модуль",
                              "Зав. №", "Результат", "Поверитель", "Свидетельство", ""};

}  // namespace

TJournalWindow::TJournalWindow(std::unique_ptr<RecordStore> store, const QString& programDir,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), m_store(std::move(store)), m_programDir(programDir) {
    setObjectName("JournalWindow");
    setWindowTitle(QStringLiteral("Журнал поверок"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(900, 600);

    auto* filters = new QHBoxLayout;
    m_useFrom = new QCheckBox(QStringLiteral("с"), this);
    m_from = new QDateEdit(QDate::currentDate().addMonths(-1), this);
    m_useTo = new QCheckBox(QStringLiteral("по"), this);
    m_to = new QDateEdit(QDate::currentDate(), this);
    for (QDateEdit* d : {m_from, m_to}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat("dd.MM.yyyy");
    }
    m_modelFilter = new QComboBox(this);
    m_modelFilter->addItem(QString());
    m_modelFilter->addItems(LabSettings::Models());
    m_serial = new QLineEdit(this);
    m_serial->setPlaceholderText(QStringLiteral("зав. №"));
    m_verdict = new QComboBox(this);
    m_verdict->addItems({QString(), kSuitable, kUnsuitable, kInterrupted, kDueFilterCaption});
    m_operator = new QLineEdit(this);
    m_operator->setPlaceholderText(QStringLiteral("поверитель"));
    m_useFrom->setObjectName("UseFrom");
    m_from->setObjectName("From");
    m_useTo->setObjectName("UseTo");
    m_to->setObjectName("To");
    m_modelFilter->setObjectName("ModelFilter");
    m_serial->setObjectName("SerialFilter");
    m_verdict->setObjectName("VerdictFilter");
    m_operator->setObjectName("OperatorFilter");
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_useFrom, m_from, m_useTo, m_to, m_modelFilter, m_serial, m_verdict, m_operator})
        filters->addWidget(w);

    m_model = new TJournalModel(this);
    m_table = new QTableView(this);
    m_table->setObjectName("JournalTable");
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();

    auto* paging = new QHBoxLayout;
    m_prev = new QPushButton(QStringLiteral("<"), this);
    m_next = new QPushButton(QStringLiteral(">"), this);
    m_pageLabel = new QLabel(this);
    m_pageLabel->setObjectName("PageLabel");
    paging->addWidget(m_prev);
    paging->addWidget(m_pageLabel);
    paging->addWidget(m_next);
    paging->addStretch();

    m_recordTitle = new QLabel(this);
    m_points = new QTableWidget(0, 8, this);
    m_points->setObjectName("PointsTable");
    m_points->setHorizontalHeaderLabels(
        {"№", "Канал", "Задано", "Эталон", "Измерено", "Погрешность", "Допуск", "Результат"});
    m_points->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_points->verticalHeader()->hide();

    auto* buttons = new QHBoxLayout;
    auto button = [this, buttons](const QString& text, void (TJournalWindow::*slot)()) {
        auto* b = new QPushButton(text, this);
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
    };
    button(QStringLiteral("Протокол…"), &TJournalWindow::SaveProtocol);
    button(QStringLiteral("Выгрузка для ФГИС…"), &TJournalWindow::ExportFgis);
    button(QStringLiteral("CSV…"), &TJournalWindow::ExportCsv);
    button(QStringLiteral("Исправить…"), &TJournalWindow::CorrectRecord);
    buttons->addStretch();
    button(QStringLiteral("Настройки…"), &TJournalWindow::OpenSettings);

    auto* lower = new QWidget(this);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addWidget(m_recordTitle);
    lowerLayout->addWidget(m_points);
    auto* upper = new QWidget(this);
    auto* upperLayout = new QVBoxLayout(upper);
    upperLayout->setContentsMargins(0, 0, 0, 0);
    upperLayout->addWidget(m_table);
    upperLayout->addLayout(paging);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(upper);
    split->addWidget(lower);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(split);
    layout->addLayout(buttons);

    for (QCheckBox* c : {m_useFrom, m_useTo})
        connect(c, &QCheckBox::toggled, this, &TJournalWindow::Refresh);
    for (QDateEdit* d : {m_from, m_to})
        connect(d, &QDateEdit::dateChanged, this, &TJournalWindow::Refresh);
    for (QComboBox* c : {m_modelFilter, m_verdict})
        connect(c, &QComboBox::currentIndexChanged, this, &TJournalWindow::Refresh);
    for (QLineEdit* e : {m_serial, m_operator})
        connect(e, &QLineEdit::textChanged, this, &TJournalWindow::Refresh);
    connect(m_prev, &QPushButton::clicked, this, [this] { ShowPage(m_page - 1); });
    connect(m_next, &QPushButton::clicked, this, [this] { ShowPage(m_page + 1); });
    connect(m_table, &QTableView::clicked, this,
            [this](const QModelIndex& i) { ShowRecord(RecordAt(i.row())); });
    Refresh();
}

TJournalWindow::~TJournalWindow() {
    // The model's query must go before the connection it runs on.
    m_model->clear();
}

void TJournalWindow::ShowFor(const QString& programDir, QWidget* parent) {
    auto store = std::make_unique<RecordStore>();
    if (!store->Open(RecordsDbUrl(programDir))) {
        QMessageBox::warning(parent, QStringLiteral("Внимание!"), store->LastError());
        return;
    }
    (new TJournalWindow(std::move(store), programDir, parent))->show();
}

JournalFilter TJournalWindow::Filter() const {
    JournalFilter f;
    if (m_useFrom->isChecked()) f.from = m_from->date();
    if (m_useTo->isChecked()) f.to = m_to->date();
    f.model = m_modelFilter->currentText();
    f.serial = m_serial->text().trimmed();
    f.verdict = m_verdict->currentText();
    if (f.verdict == kDueFilterCaption) {
        f.verdict.clear();
        f.dueWithinDays = kDueFilterDays;
    }
    f.operatorName = m_operator->text().trimmed();
    return f;
}

int TJournalWindow::PageCount() const {
    return static_cast<int>(qMax<qint64>(1, (m_count + kPageSize - 1) / kPageSize));
}

qint64 TJournalWindow::RecordAt(int row) const {
    return m_model->record(row).value(kJId).toLongLong();
}

void TJournalWindow::Refresh() {
    m_count = JournalCount(m_store->Database(), Filter());
    ShowPage(0);
}

void TJournalWindow::ShowPage(int page) {
    m_page = qBound(0, page, PageCount() - 1);
    m_model->setQuery(JournalPage(m_store->Database(), Filter(), kPageSize, m_page * kPageSize));
    for (int c = 0; c < kHeaders.size(); ++c)
        m_model->setHeaderData(c, Qt::Horizontal, kHeaders[c]);
    m_table->setColumnHidden(kJRevision, true);
    m_table->setColumnHidden(kJState, true);
    m_pageLabel->setText(QStringLiteral("Страница %1 из %2, записей: %3")
                             .arg(m_page + 1)
                             .arg(PageCount())
                             .arg(m_count));
    m_prev->setEnabled(m_page > 0);
    m_next->setEnabled(m_page + 1 < PageCount());
}

void TJournalWindow::ShowRecord(qint64 id) {
    const std::optional<Record> r = m_store->Load(id);
    m_points->setRowCount(0);
    if (!r) return;
    m_shown = id;
    m_recordTitle->setText(
        QStringLiteral("Запись № %1, %2, зав. № %3: %4")
            .arg(r->id)
            .arg(r->module.designation, r->info.serial, VerdictForState(r->state, r->verdict)));
    m_points->setRowCount(r->points.size());
    for (int i = 0; i < r->points.size(); ++i) {
        const RecordPoint& p = r->points[i];
        const QStringList cells = {
            QString::number(p.seq), p.channel,         RuNumber(p.nominal), RuNumber(p.reference),
            RuNumber(p.measured),   RuNumber(p.error), RuNumber(p.limit),   p.result};
        for (int c = 0; c < cells.size(); ++c)
            m_points->setItem(i, c, new QTableWidgetItem(cells[c]));
    }
}

QList<qint64> TJournalWindow::SelectedOrFiltered() const {
    QList<qint64> ids;
    for (const QModelIndex& i : m_table->selectionModel()->selectedRows()) ids << RecordAt(i.row());
    return ids.isEmpty() ? JournalIds(m_store->Database(), Filter()) : ids;
}

void TJournalWindow::Warn(const QString& text) {
    QMessageBox::warning(this, QStringLiteral("Внимание!"), text);
}

void TJournalWindow::SaveProtocol() {
    const std::optional<Record> r = m_store->Load(m_shown);
    if (!r) return Warn(QStringLiteral("Выберите запись в журнале"));
    const QString path = QFileDialog::getSaveFileName(
        this, ProtocolTitle(*r), QStringLiteral("protocol-%1.pdf").arg(r->id), "PDF (*.pdf)");
    QString error;
    if (!path.isEmpty() && !WriteProtocolPdf(*r, path, &error)) Warn(error);
}

void TJournalWindow::ExportFgis() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Выгрузка для ФГИС"),
                                                      "poverka.xml", "XML (*.xml)");
    if (path.isEmpty()) return;
    FgisExportOptions options;
    options.path = path;
    options.attachProtocol =
        QMessageBox::question(this, QStringLiteral("Выгрузка для ФГИС"),
                              QStringLiteral("Приложить протоколы поверки (PDF)?")) ==
        QMessageBox::Yes;
    constexpr int kShown = 20;  // the rest are counted, not listed
    QStringList leftOut;
    const FgisExportReport report = records::ExportFgis(FeedOfIds(*m_store, SelectedOrFiltered()),
                                                        options, [&leftOut](const QString& line) {
                                                            if (leftOut.size() < kShown)
                                                                leftOut << line;
                                                        });
    if (!report.error.isEmpty()) return Warn(report.error + QStringLiteral("; файл не записан"));
    QString text = report.exported == 0 ? QStringLiteral("Нечего выгружать: файл не записан")
                                        : QStringLiteral("Выгружено записей: %1 из %2\n%3")
                                              .arg(report.exported)
                                              .arg(report.offered)
                                              .arg(report.files.join('\n'));
    if (!leftOut.isEmpty()) text += "\n\n" + leftOut.join('\n');
    if (report.leftOut > leftOut.size())
        text += QStringLiteral("\n… и ещё не выгружено: %1").arg(report.leftOut - leftOut.size());
    QMessageBox::information(this, QStringLiteral("Выгрузка для ФГИС"), text);
}

void TJournalWindow::ExportCsv() {
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("CSV"), "journal.csv", "CSV (*.csv)");
    if (path.isEmpty()) return;
    const CsvReport report = WriteJournalCsv(m_store->Database(), Filter(), path);
    if (!report.error.isEmpty()) return Warn(report.error);
    if (report.rows == 0) Warn(QStringLiteral("Нет записей для выгрузки: файл не записан"));
}

void TJournalWindow::CorrectRecord() {
    const std::optional<Record> r = m_store->Load(m_shown);
    if (!r) return Warn(QStringLiteral("Выберите запись в журнале"));
    TRecordInfoDialog dialog(r->info, this);
    if (dialog.exec() != QDialog::Accepted) return;
    const QString author = QInputDialog::getText(this, QStringLiteral("Исправление"),
                                                 QStringLiteral("Кто исправляет:"));
    const QString reason = QInputDialog::getText(this, QStringLiteral("Исправление"),
                                                 QStringLiteral("Причина исправления:"));
    if (!m_store->Correct(r->id, dialog.Info(), author, reason)) return Warn(m_store->LastError());
    ShowPage(m_page);
    ShowRecord(r->id);
}

void TJournalWindow::OpenSettings() {
    TSettingsDialog dialog(*m_store, m_programDir, this);
    dialog.exec();
}

}  // namespace yukt
