#include "app/references_panel.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QVBoxLayout>

#include "records/lab_references.h"

namespace yukt {

using namespace records;

namespace {

// A date as an operator types it: "01.11.2026" or "2026-11-01"; empty is
// no date, anything else is refused by the field's name.
bool DateOf(const QLineEdit* e, const char* field, QDate* out, QString* error) {
    const QString text = e->text().trimmed();
    *out = {};
    if (text.isEmpty()) return true;
    *out = QDate::fromString(text, QStringLiteral("dd.MM.yyyy"));
    if (!out->isValid()) *out = QDate::fromString(text, Qt::ISODate);
    if (out->isValid()) return true;
    *error = QStringLiteral("%1: не дата «%2» (ДД.ММ.ГГГГ)").arg(QString::fromUtf8(field), text);
    return false;
}

QStringList ListOf(const QLineEdit* e) {
    QStringList out;
    for (const QString& q : e->text().split(',', Qt::SkipEmptyParts))
        if (!q.trimmed().isEmpty()) out << q.trimmed();
    return out;
}

}  // namespace

TReferencesPanel::TReferencesPanel(RecordStore& store, QWidget* parent)
    : QWidget(parent), m_store(store) {
    setObjectName("ReferencesPanel");
    auto* layout = new QVBoxLayout(this);
    m_table = new QTableWidget(0, 9, this);
    m_table->setObjectName("ReferencesTable");
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("Номер"), QStringLiteral("Вид"), QStringLiteral("Наименование"),
         QStringLiteral("Зав. №"), QStringLiteral("Свидетельство"), QStringLiteral("Действителен с"),
         QStringLiteral("Действителен до"), QStringLiteral("Величины"),
         QStringLiteral("Состояние")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table);
    auto* form = new QFormLayout;
    auto edit = [this, form](const QString& label, const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        form->addRow(label, e);
        return e;
    };
    m_kind = new QComboBox(this);
    m_kind->setObjectName("RefKind");
    m_kind->addItems({kMietaKind, kUveKind, kMisKind});
    form->addRow(QStringLiteral("Вид (mieta, uve, mis)"), m_kind);
    m_number = edit(QStringLiteral("Номер"), "RefNumber");
    m_typeNumber = edit(QStringLiteral("Номер типа (mis)"), "RefTypeNumber");
    m_name = edit(QStringLiteral("Наименование"), "RefName");
    m_serial = edit(QStringLiteral("Заводской номер"), "RefSerial");
    m_certificate = edit(QStringLiteral("Свидетельство"), "RefCertificate");
    m_validFrom = edit(QStringLiteral("Действителен с"), "RefValidFrom");
    m_validUntil = edit(QStringLiteral("Действителен до"), "RefValidUntil");
    m_quantities = edit(QStringLiteral("Величины (current, frequency, …)"), "RefQuantities");
    layout->addLayout(form);
    m_error = new QLabel(this);
    m_error->setObjectName("ReferencesError");
    m_error->setWordWrap(true);
    m_error->setStyleSheet(QStringLiteral("color: #800000"));
    layout->addWidget(m_error);
    auto* buttons = new QHBoxLayout;
    auto* add = new QPushButton(QStringLiteral("Добавить"), this);
    auto* renew = new QPushButton(QStringLiteral("Продлить выбранный"), this);
    auto* retire = new QPushButton(QStringLiteral("Вывести выбранный…"), this);
    connect(add, &QPushButton::clicked, this, [this] { AddFromFields(); });
    connect(renew, &QPushButton::clicked, this, [this] { RenewSelected(); });
    connect(retire, &QPushButton::clicked, this, [this] {
        bool ok = false;
        const QString reason = QInputDialog::getText(this, QStringLiteral("Вывести эталон"),
                                                     QStringLiteral("Причина"), QLineEdit::Normal,
                                                     {}, &ok);
        if (ok) RetireSelected(reason);
    });
    for (QPushButton* b : {add, renew, retire}) buttons->addWidget(b);
    layout->addLayout(buttons);
    Reload();
}

// The register names a refused field as the command line does; the panel
// by its own captions.
void TReferencesPanel::Show(const QString& error) {
    static const std::pair<const char*, const char*> kCaptions[] = {
        {"--kind", "Вид"},
        {"--number", "Номер"},
        {"--type-number", "Номер типа"},
        {"--name", "Наименование"},
        {"--serial", "Заводской номер"},
        {"--certificate", "Свидетельство"},
        {"--valid-from", "Действителен с"},
        {"--valid-until", "Действителен до"},
        {"--quantities", "Величины"},
        {"--reason", "Причина"}};
    QString text = error;
    for (const auto& [option, caption] : kCaptions)
        text.replace(QRegularExpression(QStringLiteral("(^|; )%1:").arg(option)),
                     QStringLiteral("\\1%1:").arg(QString::fromUtf8(caption)));
    m_error->setText(text);
}
QString TReferencesPanel::Error() const { return m_error->text(); }

void TReferencesPanel::Reload() {
    QString error;
    const std::optional<QList<LabReference>> all = LoadReferences(m_store, &error);
    m_table->setRowCount(0);
    if (!all) return Show(error);
    for (const LabReference& r : *all) {
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        const QStringList cells = {
            r.number,
            r.kind,
            r.name,
            r.kind == kMisKind ? r.typeNumber + ", " + r.serial : r.serial,
            r.certificate,
            r.validFrom.isValid() ? ReferenceDate(r.validFrom) : QString(),
            ReferenceDate(r.validUntil),
            r.quantities.join(", "),
            r.retired ? QStringLiteral("выведен: ") + r.note
                      : (r.validUntil.isValid() ? QStringLiteral("в работе") : kValidityUnknown)};
        for (int c = 0; c < cells.size(); ++c)
            m_table->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
}

QString TReferencesPanel::SelectedNumber() const {
    const QList<QTableWidgetItem*> items = m_table->selectedItems();
    return items.isEmpty() ? QString() : m_table->item(items.front()->row(), 0)->text();
}

bool TReferencesPanel::AddFromFields() {
    LabReference r;
    r.kind = m_kind->currentText();
    r.number = m_number->text();
    r.typeNumber = m_typeNumber->text().trimmed();
    r.name = m_name->text().trimmed();
    r.serial = m_serial->text().trimmed();
    r.certificate = m_certificate->text().trimmed();
    r.quantities = ListOf(m_quantities);
    QString error;
    if (!DateOf(m_validFrom, "Действителен с", &r.validFrom, &error) ||
        !DateOf(m_validUntil, "Действителен до", &r.validUntil, &error) ||
        !AddReference(m_store, r, &error)) {
        Show(error);
        return false;
    }
    Show({});
    Reload();
    return true;
}

bool TReferencesPanel::RenewSelected() {
    const QString number = SelectedNumber();
    QDate from, until;
    QString error;
    if (number.isEmpty()) error = QStringLiteral("Выберите эталон в таблице");
    if (error.isEmpty() && DateOf(m_validFrom, "Действителен с", &from, &error) &&
        DateOf(m_validUntil, "Действителен до", &until, &error) && !until.isValid())
        error = QStringLiteral("Действителен до: нужна дата");
    if (error.isEmpty())
        RenewReference(m_store, number, m_certificate->text().trimmed(), until, from,
                       ListOf(m_quantities), &error);
    Show(error);
    if (error.isEmpty()) Reload();
    return error.isEmpty();
}

bool TReferencesPanel::RetireSelected(const QString& reason) {
    const QString number = SelectedNumber();
    QString error;
    if (number.isEmpty()) error = QStringLiteral("Выберите эталон в таблице");
    if (error.isEmpty()) RetireReference(m_store, number, reason, &error);
    Show(error);
    if (error.isEmpty()) Reload();
    return error.isEmpty();
}

TReferencesDialog::TReferencesDialog(RecordStore& store, QWidget* parent) : QDialog(parent) {
    setObjectName("ReferencesDialog");
    setWindowTitle(QStringLiteral("Эталоны"));
    setMinimumWidth(720);
    auto* layout = new QVBoxLayout(this);
    m_panel = new TReferencesPanel(store, this);
    layout->addWidget(m_panel);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

}  // namespace yukt
