#pragma once
// The journal's side of the register of references: the filter "Сделано
// эталоном …" (the records a reference made, as suspect lists them) and,
// beside the filter "Срок поверки истекает", the references whose own
// validity ends within the same days.

#include <QComboBox>
#include <QLabel>
#include <QTableWidget>

#include "records/lab_references.h"

namespace yukt {

// A combo box of the register's references; the first entry is the
// caption and filters nothing.
class TReferenceFilter : public QComboBox {
    Q_OBJECT
  public:
    explicit TReferenceFilter(QWidget* parent = nullptr);
    // Fills it anew from the register; the reference chosen stays chosen
    // while it is there.
    void Fill(const QList<records::LabReference>& references);
    // The chosen reference's number, empty for none.
    QString Number() const;
};

// The references due, soonest first, under a line that says what they are:
// number, name, serial number, certificate, valid until.
class TDueReferences : public QWidget {
    Q_OBJECT
  public:
    explicit TDueReferences(QWidget* parent = nullptr);
    void Show(const QList<records::LabReference>& due);
    void ShowProblem(const QString& text);  // the register could not be read
    QTableWidget* Table() const { return m_table; }

  private:
    QLabel* m_caption = nullptr;
    QTableWidget* m_table = nullptr;
};

}  // namespace yukt
