#include "app/journal_references.h"

#include <QHeaderView>
#include <QVBoxLayout>
#include <algorithm>

#include "records/journal_query.h"

namespace yukt {

using namespace records;

TReferenceFilter::TReferenceFilter(QWidget* parent) : QComboBox(parent) {
    setObjectName("ReferenceFilter");
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    addItem(kReferenceFilterCaption);
}

void TReferenceFilter::Fill(const QList<LabReference>& references) {
    const QString chosen = Number();
    const QSignalBlocker quiet(this);
    while (count() > 1) removeItem(1);
    for (const LabReference& r : references) {
        // Retired ones too: a reference found out of tolerance is retired,
        // and what it made is what the laboratory looks for.
        addItem(QStringLiteral("Сделано эталоном ") + r.number, r.number);
        setItemData(count() - 1,
                    QStringList{r.name, r.serial, QStringLiteral("до ") + ReferenceDate(r.validUntil)}
                        .join(", "),
                    Qt::ToolTipRole);
    }
    const int index = chosen.isEmpty() ? 0 : findData(chosen);
    setCurrentIndex(qMax(0, index));
}

QString TReferenceFilter::Number() const { return currentIndex() > 0 ? currentData().toString() : QString(); }

TDueReferences::TDueReferences(QWidget* parent) : QWidget(parent) {
    setObjectName("DueReferencesBox");
    m_caption = new QLabel(this);
    m_caption->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_table = new QTableWidget(0, 5, this);
    m_table->setObjectName("DueReferences");
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("Эталон"), QStringLiteral("Наименование"), QStringLiteral("Зав. №"),
         QStringLiteral("Свидетельство"), QStringLiteral("Действителен до")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_caption);
    layout->addWidget(m_table);
}

void TDueReferences::Show(const QList<LabReference>& due) {
    m_caption->setText(
        (due.isEmpty() ? QStringLiteral("Нет эталонов, срок поверки которых истекает в ближайшие %1 дн.")
                       : QStringLiteral("Эталоны, срок поверки которых истекает в ближайшие %1 дн.:"))
            .arg(kDueFilterDays));
    m_table->setVisible(!due.isEmpty());
    m_table->setRowCount(static_cast<int>(due.size()));
    for (int row = 0; row < due.size(); ++row) {
        const LabReference& r = due[row];
        const QStringList cells = {r.number, r.name, r.serial, r.certificate,
                                   ReferenceDate(r.validUntil)};
        for (int c = 0; c < cells.size(); ++c)
            m_table->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
    // A few rows at most, and no taller than they: the journal below keeps
    // its room.
    const int rows = std::clamp(static_cast<int>(due.size()), 1, 4);
    const int table = m_table->horizontalHeader()->sizeHint().height() +
                      m_table->frameWidth() * 2 +
                      rows * m_table->verticalHeader()->defaultSectionSize();
    m_table->setFixedHeight(table);
    setFixedHeight(m_caption->sizeHint().height() +
                   (due.isEmpty() ? 0 : layout()->spacing() + table));
}

void TDueReferences::ShowProblem(const QString& text) {
    m_caption->setText(text);
    m_table->setRowCount(0);
    m_table->hide();
    setFixedHeight(m_caption->sizeHint().height());
}

}  // namespace yukt
