#pragma once
// Every question and message the workstation puts to the operator goes
// through this interface, so that tests answer them without a screen.

#include <QPointer>
#include <QString>
#include <QWidget>

namespace yukt::records {
struct RecordInfo;
class RecordStore;
}  // namespace yukt::records

namespace yukt {

// Where the record dialog of a new verification finds the laboratory
// settings it needs, and where the settings dialog it offers keeps the
// database choice (poverka.ini).
struct LabSettingsSource {
    records::RecordStore* store = nullptr;
    QString programDir;
    QStringList quantities;  // what the plan measures: the register's gate
};

enum class DlgIcon { None, Warning, Error, Information };
enum class DlgButtons { Ok, OkCancel, YesNo };
enum class DlgResult { Ok, Cancel, Yes, No };

class OperatorDialogs {
  public:
    virtual ~OperatorDialogs() = default;
    // A modal message box; the text is passed exactly as the program words
    // it (line breaks "\r\n" or "\n\r" included).
    virtual DlgResult MessageBox(const QString& text, const QString& caption, DlgIcon icon,
                                 DlgButtons buttons) = 0;
    // A plain message without caption text or icon.
    virtual void ShowMessage(const QString& text) = 0;
    // "Сведения о поверке" before the first point, opened with `info`; false
    // when the operator declines (the verification then goes on unrecorded).
    // The dialog names the laboratory settings still missing in `lab` and
    // is not accepted until they are filled. A source that cannot ask
    // records nothing.
    virtual bool AskRecordInfo(records::RecordInfo& info, const LabSettingsSource& lab) {
        (void)info;
        (void)lab;
        return false;
    }
    // A manual operation of the methodology (its id and title): "соответствует"
    // (`conforms` true) or "не соответствует", with an optional remark; false
    // when the operator leaves it undone. A source that cannot ask leaves it
    // undone.
    virtual bool AskManualOperation(const QString& title, bool& conforms, QString& remark) {
        (void)title, (void)conforms, (void)remark;
        return false;
    }
};

// Message boxes on the screen, owned by `parent`. With a parent a box holds
// that window alone, so a window of its own (the journal) stays usable.
class ScreenDialogs : public OperatorDialogs {
  public:
    explicit ScreenDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }
    DlgResult MessageBox(const QString& text, const QString& caption, DlgIcon icon,
                         DlgButtons buttons) override;
    void ShowMessage(const QString& text) override;
    bool AskRecordInfo(records::RecordInfo& info, const LabSettingsSource& lab) override;
    bool AskManualOperation(const QString& title, bool& conforms, QString& remark) override;

  private:
    QPointer<QWidget> m_parent;
};

// The text as a label shows it: "\r\n" and "\n\r" become one line break.
QString DisplayText(const QString& text);

}  // namespace yukt
