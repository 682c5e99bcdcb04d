#pragma once
// "Эталоны": the laboratory's register of references as a table, with the
// fields to add one, renew the selected one (a new certificate and validity)
// or retire it. Every change is a new revision in the records database, with
// the checks of `yukt-records references`.

#include <QDialog>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QTableWidget;

namespace yukt {

namespace records {
class RecordStore;
}

class TReferencesPanel : public QWidget {
    Q_OBJECT

  public:
    TReferencesPanel(records::RecordStore& store, QWidget* parent = nullptr);
    // Reads the register again into the table.
    void Reload();
    // The buttons' work, for the dialog and for tests: false with Error() set
    // (naming the field) when refused; nothing is stored then.
    bool AddFromFields();
    bool RenewSelected();
    bool RetireSelected(const QString& reason);
    QString Error() const;

  private:
    void Show(const QString& error);
    QString SelectedNumber() const;

    records::RecordStore& m_store;
    QTableWidget* m_table;
    QComboBox* m_kind;
    QLineEdit *m_number, *m_typeNumber, *m_name, *m_serial, *m_certificate, *m_validFrom,
        *m_validUntil, *m_quantities;
    QLabel* m_error;
};

// The panel in a window of its own, opened from the record dialog.
class TReferencesDialog : public QDialog {
    Q_OBJECT

  public:
    TReferencesDialog(records::RecordStore& store, QWidget* parent = nullptr);
    TReferencesPanel* Panel() const { return m_panel; }

  private:
    TReferencesPanel* m_panel;
};

}  // namespace yukt
