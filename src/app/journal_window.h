#pragma once
// "Журнал поверок": every verification record, newest first, filtered by date
// range, model, serial number, verdict, operator, registry state and the
// reference it was made with. Only one page of the
// list is read at a time. A record opened shows its points; the window prints
// protocols, exports the registry file and CSV, and corrects a record by a new
// revision.

#include <QWidget>
#include <memory>

#include "records/fgis_export.h"
#include "records/journal_query.h"
#include "records/record_store.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QProgressDialog;
class QPushButton;
class QTableView;
class QTableWidget;

namespace yukt {

class TDueReferences;
class TExportJob;
class TJournalModel;
class TReferenceFilter;
struct ExportRequest;

class TJournalWindow : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kPageSize = 200;

    // The window owns its store; `programDir` is where poverka.ini lives.
    TJournalWindow(std::unique_ptr<records::RecordStore> store, const QString& programDir,
                   QWidget* parent = nullptr);
    ~TJournalWindow() override;

    // Opens the records database of the program directory and shows the
    // journal as a window of its own, or tells the operator why it cannot
    // (null). A window of its own stays usable beside the main window and
    // while a message box holds that one.
    static TJournalWindow* Open(const QString& programDir, QWidget* errorParent);

    records::JournalFilter Filter() const;
    int Page() const { return m_page; }
    int PageCount() const;
    qint64 MatchCount() const { return m_count; }
    // Matches are counted this far beyond the page shown (a million records
    // are never counted to show their first page); more are shown as "более".
    static constexpr qint64 kCountAhead = 10000;
    void SetCountAhead(qint64 rows) {
        m_countAhead = rows;
        Refresh();
    }
    bool CountCapped() const { return m_count > m_countCap; }
    qint64 RecordAt(int row) const;
    // The record of the selected current row, 0 when none is selected.
    qint64 SelectedRecord() const;
    void SelectRecord(qint64 id);
    records::RecordStore& Store() { return *m_store; }

    // The exports run on a thread of their own with a progress dialog that
    // cancels them; one at a time. The chosen records, else the filtered ones.
    void StartFgisExport(const records::FgisExportOptions& options);
    void StartCsvExport(const QString& path);
    bool ExportRunning() const { return m_job != nullptr; }

  public slots:
    void Refresh();  // re-reads the count and the first page
    void ShowPage(int page);
    void ShowRecord(qint64 id);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void SaveProtocol();
    void ExportFgis();
    void ExportCsv();
    void CorrectRecord();
    void OpenSettings();
    // The references due beside the records due, while that filter is chosen.
    void ShowDueReferences();
    QList<qint64> SelectedIds() const;
    void Warn(const QString& text);
    void StartExport(ExportRequest request, const QString& progressText);
    void ShowExportProgress(qint64 done, qint64 total);
    void EndExport();
    // Cancels a running export and waits for it; nothing is reported.
    void StopExport();

    std::unique_ptr<records::RecordStore> m_store;
    QString m_programDir;
    TJournalModel* m_model = nullptr;
    QCheckBox *m_useFrom = nullptr, *m_useTo = nullptr;
    QDateEdit *m_from = nullptr, *m_to = nullptr;
    QComboBox* m_modelFilter = nullptr;
    QLineEdit* m_serial = nullptr;
    QComboBox* m_verdict = nullptr;
    QLineEdit* m_operator = nullptr;
    QComboBox* m_registry = nullptr;  // the registry state filter
    TReferenceFilter* m_reference = nullptr;
    TDueReferences* m_due = nullptr;
    QTableView* m_table = nullptr;
    QLabel* m_pageLabel = nullptr;
    QPushButton *m_prev = nullptr, *m_next = nullptr;
    QTableWidget* m_points = nullptr;
    QLabel* m_recordTitle = nullptr;
    qint64 m_count = 0;
    qint64 m_countCap = kCountAhead, m_countAhead = kCountAhead;
    int m_page = 0;
    qint64 m_shown = 0;
    QList<QPushButton*> m_exportButtons;
    TExportJob* m_job = nullptr;
    quint64 m_jobSerial = 0;
    QProgressDialog* m_progress = nullptr;
    QString m_progressText;  // "…: записей %1 из %2"
};

}  // namespace yukt
