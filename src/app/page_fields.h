#pragma once
// How the operator's typing, clicks and leaving of an edit field reach the
// handlers of a verification page, and the texts of numbers on the pages.
//
// Each field registered here gets its key filter applied before the field
// sees a key; a pasted text goes through the same filter, character by
// character, and the field's own select-all, copy, cut and undo keys work.
// Enter runs the field's action (not on a read-only field: the pages lock
// fields precisely so that nothing is sent meanwhile); a click runs the click
// handler; leaving the field for another control runs the exit handler (a
// message box or another window taking the focus does not count).

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <optional>

#include "records/ru_format.h"

class QLineEdit;

namespace yukt {

enum class KeyFilter {
    Decimal,  // digits, sign, one decimal comma ("." typed becomes ",")
    Digits,   // digits only
};

// The character that a typed character puts into a field holding `text`,
// or nothing when the filter drops it. Backspace and Enter always pass.
std::optional<QChar> FilterKey(KeyFilter filter, QChar typed, const QString& text);
// What is left of a pasted text after the filter, going into a field whose
// text (selection removed) is `text`.
QString FilterText(KeyFilter filter, const QString& pasted, const QString& text);

struct FieldHandlers {
    KeyFilter filter = KeyFilter::Decimal;
    std::function<void()> onEnter;
    std::function<void()> onClick;
    std::function<void()> onExit;
};

class FieldEvents : public QObject {
  public:
    explicit FieldEvents(QObject* parent) : QObject(parent) {}
    void Attach(QLineEdit* field, FieldHandlers handlers);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    static void Paste(QLineEdit* field, KeyFilter filter);
    std::map<QObject*, FieldHandlers> m_fields;
};

// Numbers typed with a decimal comma: read as the records read them.
using records::RuToFloat;
using records::RuToFloatDef;
using records::RuToInt;

// The operator's number in a field: decimal comma; with `pointToo` a decimal
// point is taken as well. False when the text is not a number.
bool ReadNumber(const QLineEdit* field, double& value, bool pointToo = false);
// The same with a value for an unreadable text.
double ReadNumberOr(const QLineEdit* field, double fallback, bool pointToo = false);
// A whole number above zero that fits in `max`.
bool ReadPositiveInt(const QLineEdit* field, int max, int& value);

// Entry k of a reply's fields as a number (decimal comma); false when the
// entry is missing or not a number.
bool ReplyNumber(const QStringList& fields, int k, double& value);

// The marker of an error too large to be meaningful (relative or reduced
// error above 100 %).
inline const QString kNoError = QStringLiteral("     <><>");

// "<fixed> %" or the marker when the error is above 100.
QString PercentText(double error, int decimals);

// A reply's value into a field: an unchanged text is left alone (no layout,
// no repaint), as the page shows every reply of a run.
void ShowText(QLineEdit* field, const QString& text);

}  // namespace yukt
