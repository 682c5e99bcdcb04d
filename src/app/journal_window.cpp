#include "app/journal_window.h"

#include <QCheckBox>
#include <QCloseEvent>
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
#include <QProgressDialog>
#include <QPushButton>
#include <QSplitter>
#include <QSqlError>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/export_job.h"
#include "app/journal_analysis.h"
#include "app/journal_references.h"
#include "app/record_info_dialog.h"
#include "app/settings_dialog.h"
#include "records/db_location.h"
#include "records/fgis_export.h"
#include "records/journal_csv.h"
#include "records/lab_references.h"
#include "records/lab_settings.h"
#include "records/protocol_pdf.h"
#include "records/registry_state.h"
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
        if (index.column() == kJValidUntil)
            return RuDate(QDate::fromString(v.toString(), Qt::ISODate));
        if (index.column() == kJVerdict && v.toString().isEmpty())
            return QStringLiteral("в работе");
        if (index.column() == registryColumn)
            return RegistryStatusText(RegistryStatusOf(v.toString(), registryBound));
        return v;
    }
    int registryColumn = -1;
    QDateTime registryBound;  // exports before it are "not found"
};

namespace {

const QStringList kHeaders = {"№",      "Ред.",      "Дата",       "Модель",        "Модуль",
                              "Зав. №", "Результат", "Поверитель", "Свидетельство", "",
                              "Действительно до", "Владелец"};
const QStringList kPointHeaders = {"№",        "Канал",       "Задано", "Эталон",
                                   "Измерено", "Погрешность", "Допуск", "Результат"};

// A point's outcome in the protocol's words; the measured value and error of
// a point not measured mean nothing and are not shown.
QString PointResultText(const RecordPoint& p) {
    if (p.result == "pass") return QStringLiteral("соответствует");
    if (p.result == "fail") return QStringLiteral("не соответствует");
    return QStringLiteral("не измерено") + (p.reason.isEmpty() ? QString() : ": " + p.reason);
}

// What the registry export wrote, left out and removed.
QString FgisSummary(const FgisExportReport& report, const QStringList& leftOut) {
    QString text = report.exported == 0 ? QStringLiteral("Нечего выгружать: файл не записан")
                                        : QStringLiteral("Выгружено записей: %1 из %2\n%3")
                                              .arg(report.exported)
                                              .arg(report.offered)
                                              .arg(report.files.join('\n'));
    if (!report.removed.isEmpty())
        text += QStringLiteral("\nУдалены прежние части: ") + report.removed.join(", ");
    if (!report.notRemoved.isEmpty())
        text += QStringLiteral("\nНе удалось удалить прежние части: ") + report.notRemoved.join(", ");
    if (!leftOut.isEmpty()) text += "\n\n" + leftOut.join('\n');
    if (report.leftOut > leftOut.size())
        text += QStringLiteral("\n… и ещё не выгружено: %1").arg(report.leftOut - leftOut.size());
    return text;
}

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
    m_registry = new QComboBox(this);
    m_registry->addItem(QString());
    for (RegistryState state : RegistryStates()) m_registry->addItem(RegistryStateCaption(state));
    m_registry->setObjectName("RegistryFilter");
    m_registry->setToolTip(QStringLiteral("ФГИС «Аршин»"));
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
    // The registry state and the reference on a line of their own: the
    // first keeps room for what is typed.
    auto* moreFilters = new QHBoxLayout;
    moreFilters->addWidget(new QLabel(QStringLiteral("ФГИС:"), this));
    moreFilters->addWidget(m_registry);
    m_reference = new TReferenceFilter(this);
    if (const auto references = LoadReferences(*m_store)) m_reference->Fill(*references);
    moreFilters->addWidget(m_reference);
    moreFilters->addStretch();
    m_due = new TDueReferences(this);
    m_due->hide();

    m_model = new TJournalModel(this);
    m_model->registryBound = NotFoundBound(QDate::currentDate(), RegistryNotFoundDays(*m_store));
    m_table = new QTableView(this);
    m_table->setObjectName("JournalTable");
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);

    auto* paging = new QHBoxLayout;
    m_prev = new QPushButton(QStringLiteral("<"), this);
    m_next = new QPushButton(QStringLiteral(">"), this);
    m_next->setObjectName("NextPage");
    m_pageLabel = new QLabel(this);
    m_pageLabel->setObjectName("PageLabel");
    paging->addWidget(m_prev);
    paging->addWidget(m_pageLabel);
    paging->addWidget(m_next);
    paging->addStretch();

    m_recordTitle = new QLabel(this);
    m_points = new QTableWidget(0, 8, this);
    m_points->setObjectName("PointsTable");
    m_points->setHorizontalHeaderLabels(kPointHeaders);
    m_points->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_points->verticalHeader()->hide();
    m_points->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_points->horizontalHeader()->setStretchLastSection(true);

    auto* buttons = new QHBoxLayout;
    auto button = [this, buttons](const QString& text, void (TJournalWindow::*slot)()) {
        auto* b = new QPushButton(text, this);
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
        return b;
    };
    button(QStringLiteral("Протокол…"), &TJournalWindow::SaveProtocol);
    m_exportButtons = {button(QStringLiteral("Выгрузка для ФГИС…"), &TJournalWindow::ExportFgis),
                       button(QStringLiteral("CSV…"), &TJournalWindow::ExportCsv)};
    button(QStringLiteral("Исправить…"), &TJournalWindow::CorrectRecord);
    buttons->addStretch();
    button(QStringLiteral("Настройки…"), &TJournalWindow::OpenSettings);
    AddJournalAnalysis(this, m_table, buttons);

    auto* lower = new QWidget(this);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addWidget(m_recordTitle);
    lowerLayout->addWidget(m_points);
    auto* upper = new QWidget(this);
    auto* upperLayout = new QVBoxLayout(upper);
    upperLayout->setContentsMargins(0, 0, 0, 0);
    upperLayout->addWidget(m_due);
    upperLayout->addWidget(m_table);
    upperLayout->addLayout(paging);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(upper);
    split->addWidget(lower);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addLayout(moreFilters);
    layout->addWidget(split);
    layout->addLayout(buttons);

    for (QCheckBox* c : {m_useFrom, m_useTo})
        connect(c, &QCheckBox::toggled, this, &TJournalWindow::Refresh);
    for (QDateEdit* d : {m_from, m_to})
        connect(d, &QDateEdit::dateChanged, this, &TJournalWindow::Refresh);
    for (QComboBox* c : {m_modelFilter, m_verdict, m_registry, static_cast<QComboBox*>(m_reference)})
        connect(c, &QComboBox::currentIndexChanged, this, &TJournalWindow::Refresh);
    for (QLineEdit* e : {m_serial, m_operator})
        connect(e, &QLineEdit::textChanged, this, &TJournalWindow::Refresh);
    connect(m_prev, &QPushButton::clicked, this, [this] { ShowPage(m_page - 1); });
    connect(m_next, &QPushButton::clicked, this, [this] { ShowPage(m_page + 1); });
    // The points follow the current row, by mouse or keyboard.
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) ShowRecord(RecordAt(current.row()));
            });
    Refresh();
}

TJournalWindow::~TJournalWindow() {
    StopExport();
    // The model's query must go before the connection it runs on.
    m_model->clear();
}

void TJournalWindow::closeEvent(QCloseEvent* event) {
    // No export outlives its window, nor leaves a file behind.
    StopExport();
    QWidget::closeEvent(event);
}

TJournalWindow* TJournalWindow::Open(const QString& programDir, QWidget* errorParent) {
    auto store = std::make_unique<RecordStore>();
    // Browsing does no work at the opening: migrations, spooled records and
    // dead runs are the recording programs' business.
    store->SetQuietOpen(true);
    if (!store->Open(RecordsDbUrl(programDir))) {
        QMessageBox::warning(errorParent, QStringLiteral("Внимание!"), store->LastError());
        return nullptr;
    }
    if (!store->SpoolNotes().isEmpty())
        QMessageBox::information(errorParent, QStringLiteral("Журнал поверок"),
                                 store->SpoolNotes().join('\n'));
    auto* window = new TJournalWindow(std::move(store), programDir);
    window->show();
    return window;
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
    if (m_registry->currentIndex() > 0)
        f.registry = RegistryStates().value(m_registry->currentIndex() - 1);
    f.registryBound = m_model->registryBound;
    f.reference = m_reference->Number();
    return f;
}

int TJournalWindow::PageCount() const {
    return static_cast<int>(qMax<qint64>(1, (m_count + kPageSize - 1) / kPageSize));
}

qint64 TJournalWindow::RecordAt(int row) const {
    return m_model->record(row).value(kJId).toLongLong();
}

qint64 TJournalWindow::SelectedRecord() const {
    const QModelIndex current = m_table->currentIndex();
    if (!current.isValid() || !m_table->selectionModel()->isRowSelected(current.row())) return 0;
    return RecordAt(current.row());
}

void TJournalWindow::SelectRecord(qint64 id) {
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (RecordAt(row) != id) continue;
        m_table->selectRow(row);
        return;
    }
}

void TJournalWindow::Refresh() {
    m_countCap = m_countAhead;
    m_count = JournalCountUpTo(m_store->Database(), Filter(), m_countCap);
    ShowDueReferences();
    ShowPage(0);
}

void TJournalWindow::ShowDueReferences() {
    const bool due = m_verdict->currentText() == kDueFilterCaption;
    m_due->setVisible(due);
    if (!due) return;
    QString error;
    const std::optional<QList<LabReference>> all = LoadReferences(*m_store, &error);
    if (!all) return m_due->ShowProblem(error);
    // The same list as "yukt-records references due".
    m_due->Show(ReferencesDue(*all, QDate::currentDate(), kDueFilterDays));
}

void TJournalWindow::ShowPage(int page) {
    if (CountCapped() && qint64(page + 1) * kPageSize >= m_countCap) {
        m_countCap = qint64(page + 1) * kPageSize + m_countAhead;
        m_count = JournalCountUpTo(m_store->Database(), Filter(), m_countCap);
    }
    m_page = qBound(0, page, PageCount() - 1);
    const qint64 shown = m_shown;
    m_model->setQuery(JournalPage(m_store->Database(), Filter(), kPageSize, m_page * kPageSize));
    if (m_model->lastError().isValid()) Warn(m_model->lastError().text());
    for (int c = 0; c < kHeaders.size(); ++c)
        m_model->setHeaderData(c, Qt::Horizontal, kHeaders[c]);
    m_table->setColumnHidden(kJRevision, true);
    m_table->setColumnHidden(kJState, true);
    // Validity and owner read beside the result.
    QHeaderView* header = m_table->horizontalHeader();
    for (int c : {kJOwner, kJValidUntil})
        if (header->visualIndex(c) != header->visualIndex(kJVerdict) + 1)
            header->moveSection(header->visualIndex(c), header->visualIndex(kJVerdict) + 1);
    m_model->registryColumn = m_model->record().indexOf(kJournalRegistryField);
    m_model->setHeaderData(m_model->registryColumn, Qt::Horizontal, QStringLiteral("ФГИС"));
    m_table->resizeColumnsToContents();
    // The record below stays shown while it is on the page.
    m_points->setRowCount(0);
    m_recordTitle->clear();
    m_shown = 0;
    SelectRecord(shown);
    if (CountCapped())
        m_pageLabel->setText(QStringLiteral("Страница %1 из более чем %2, записей: более %3")
                                 .arg(m_page + 1)
                                 .arg(m_countCap / kPageSize)
                                 .arg(m_countCap));
    else
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
        const bool measured = p.result == "pass" || p.result == "fail";
        const QString none = QStringLiteral("—");
        // A manual or automatic operation on the whole module has no values.
        const bool operation = p.unit.isEmpty() && p.errorKind.isEmpty();
        // Values and errors as the protocol prints them: to the resolution.
        const PointDecimals d = DecimalsFor(p);
        const QStringList cells =
            operation ? QStringList{QString::number(p.seq), none, none, none, none, none, none,
                                    p.operation + " " + p.procedure + ": " + PointResultText(p)}
                      : QStringList{QString::number(p.seq),
                                    p.channel,
                                    RuNumber(p.nominal, d.value),
                                    RuNumber(p.reference, d.value),
                                    measured ? RuNumber(p.measured, d.value) : none,
                                    measured ? RuNumber(p.error, d.error) : none,
                                    RuNumber(p.limit, d.error),
                                    PointResultText(p)};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setToolTip(cells[c]);  // a long reason stays readable
            m_points->setItem(i, c, item);
        }
    }
}

QList<qint64> TJournalWindow::SelectedIds() const {
    QList<qint64> ids;
    for (const QModelIndex& i : m_table->selectionModel()->selectedRows()) ids << RecordAt(i.row());
    return ids;
}

void TJournalWindow::Warn(const QString& text) {
    QMessageBox::warning(this, QStringLiteral("Внимание!"), text);
}

void TJournalWindow::SaveProtocol() {
    const qint64 id = SelectedRecord();
    if (id == 0) return Warn(QStringLiteral("Выберите запись в журнале"));
    const std::optional<Record> r = m_store->Load(id);
    if (!r) return Warn(m_store->LastError());
    const QString path = QFileDialog::getSaveFileName(
        this, ProtocolTitle(*r), QStringLiteral("protocol-%1.pdf").arg(r->id), "PDF (*.pdf)");
    QString error;
    if (!path.isEmpty() && !WriteProtocolPdf(*r, path, &error)) Warn(error);
}

void TJournalWindow::ExportFgis() {
    if (ExportRunning()) return;
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Выгрузка для ФГИС"),
                                                      "poverka.xml", "XML (*.xml)");
    if (path.isEmpty()) return;
    FgisExportOptions options;
    options.path = path;
    options.attachProtocol =
        QMessageBox::question(this, QStringLiteral("Выгрузка для ФГИС"),
                              QStringLiteral("Приложить протоколы поверки (PDF)?")) ==
        QMessageBox::Yes;
    StartFgisExport(options);
}

void TJournalWindow::ExportCsv() {
    if (ExportRunning()) return;
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("CSV"), "journal.csv", "CSV (*.csv)");
    if (path.isEmpty()) return;
    StartCsvExport(path);
}

void TJournalWindow::StartFgisExport(const FgisExportOptions& options) {
    ExportRequest request;
    request.kind = ExportRequest::Kind::Fgis;
    request.fgis = options;
    request.ids = SelectedIds();
    StartExport(std::move(request), QStringLiteral("Выгрузка для ФГИС: записей %1 из %2"));
}

void TJournalWindow::StartCsvExport(const QString& path) {
    ExportRequest request;
    request.kind = ExportRequest::Kind::Csv;
    request.csvPath = path;
    StartExport(std::move(request), QStringLiteral("Выгрузка CSV: записей %1 из %2"));
}

void TJournalWindow::StartExport(ExportRequest request, const QString& progressText) {
    if (ExportRunning()) return;
    request.dbUrl = m_store->Url();
    request.filter = Filter();
    const bool fgis = request.kind == ExportRequest::Kind::Fgis;
    m_job = new TExportJob(std::move(request), this);
    m_progressText = progressText;
    m_progress = new QProgressDialog(this);
    m_progress->setObjectName("ExportProgress");
    m_progress->setWindowTitle(fgis ? QStringLiteral("Выгрузка для ФГИС") : QStringLiteral("CSV"));
    m_progress->setLabelText(progressText.section(':', 0, 0) + QStringLiteral("…"));
    m_progress->setCancelButtonText(QStringLiteral("Отмена"));
    m_progress->setRange(0, 0);  // a busy bar until the records are counted
    m_progress->setAutoReset(false);
    m_progress->setAutoClose(false);
    m_progress->setMinimumDuration(0);
    m_progress->setMinimumWidth(420);
    connect(m_progress, &QProgressDialog::canceled, m_job, &TExportJob::Cancel);
    // A job stopped by closing may have queued its last signals already: they
    // must not reach the next job's dialog.
    const quint64 serial = ++m_jobSerial;
    connect(m_job, &TExportJob::progressed, this, [this, serial](qint64 done, qint64 total) {
        if (serial == m_jobSerial) ShowExportProgress(done, total);
    });
    connect(m_job, &QThread::finished, this, [this, serial] {
        if (serial == m_jobSerial) EndExport();
    });
    for (QPushButton* b : m_exportButtons) b->setEnabled(false);
    m_progress->show();
    m_job->start();
}

void TJournalWindow::ShowExportProgress(qint64 done, qint64 total) {
    if (m_progress == nullptr) return;
    // The bar counts in int; a share of the whole is all it needs.
    constexpr int kSteps = 1000;
    m_progress->setRange(0, kSteps);
    m_progress->setValue(total > 0 ? static_cast<int>(done * kSteps / total) : 0);
    m_progress->setLabelText(m_progressText.arg(done).arg(total));
}

void TJournalWindow::StopExport() {
    if (m_job == nullptr) return;
    m_job->disconnect(this);
    delete m_job;  // cancels and waits
    m_job = nullptr;
    delete m_progress;
    m_progress = nullptr;
    for (QPushButton* b : m_exportButtons) b->setEnabled(true);
}

void TJournalWindow::EndExport() {
    if (m_job == nullptr) return;
    m_job->wait();
    const ExportOutcome outcome = m_job->Outcome();
    const bool fgis = m_job->Kind() == ExportRequest::Kind::Fgis;
    StopExport();
    const QString title = fgis ? QStringLiteral("Выгрузка для ФГИС") : QStringLiteral("CSV");
    if (outcome.Cancelled())
        return (void)QMessageBox::information(this, title,
                                              QStringLiteral("Выгрузка отменена: файл не записан"));
    if (!fgis) {
        if (!outcome.csv.error.isEmpty()) return Warn(outcome.csv.error);
        if (outcome.csv.rows == 0) Warn(QStringLiteral("Нет записей для выгрузки: файл не записан"));
        return;
    }
    const FgisExportReport& report = outcome.fgis;
    if (!report.error.isEmpty()) return Warn(report.error + QStringLiteral("; файл не записан"));
    const QString text = FgisSummary(report, outcome.leftOutShown);
    if (report.notRemoved.isEmpty())
        QMessageBox::information(this, title, text);
    else
        QMessageBox::warning(this, title, text);
}

void TJournalWindow::CorrectRecord() {
    const qint64 id = SelectedRecord();
    if (id == 0) return Warn(QStringLiteral("Выберите запись в журнале"));
    const std::optional<Record> r = m_store->Load(id);
    if (!r) return Warn(m_store->LastError());
    TRecordInfoDialog dialog(r->info, this);
    dialog.setWindowTitle(QStringLiteral("Исправление записи № %1").arg(r->id));
    if (dialog.exec() != QDialog::Accepted) return;
    bool ok = false;
    const QString author =
        QInputDialog::getText(this, QStringLiteral("Исправление"),
                              QStringLiteral("Кто исправляет:"), QLineEdit::Normal, QString(), &ok);
    if (!ok) return;
    const QString reason = QInputDialog::getText(this, QStringLiteral("Исправление"),
                                                 QStringLiteral("Причина исправления:"),
                                                 QLineEdit::Normal, QString(), &ok);
    if (!ok) return;
    if (!m_store->Correct(r->id, dialog.Info(), author, reason)) return Warn(m_store->LastError());
    ShowPage(m_page);
}

void TJournalWindow::OpenSettings() {
    TSettingsDialog dialog(*m_store, m_programDir, this);
    dialog.exec();
    // The register may have changed in it.
    if (const auto references = LoadReferences(*m_store)) m_reference->Fill(*references);
    Refresh();
}

}  // namespace yukt
