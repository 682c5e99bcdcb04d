#include "app/page_fields.h"

#include <QClipboard>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include "records/ru_format.h"
#include "common/text.h"

namespace yukt {

namespace {

constexpr QChar kBackspace = u'\b';
constexpr QChar kEnter = u'\r';
constexpr QChar kDecimalComma = u',';

bool isEnterKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

// Keys that move the caret or the focus, or delete: they type nothing, so
// the character filter has no say over them.
bool isEditingKey(const QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Delete:
        case Qt::Key_Escape:
            return true;
        default:
            return e->text().isEmpty();
    }
}

// Select all, copy, cut, undo and redo change no character by themselves:
// the field does them as it always does.
bool isEditingShortcut(const QKeyEvent* e) {
    for (QKeySequence::StandardKey k : {QKeySequence::SelectAll, QKeySequence::Copy,
                                        QKeySequence::Cut, QKeySequence::Undo, QKeySequence::Redo})
        if (e->matches(k)) return true;
    return false;
}

}  // namespace

QString FilterText(KeyFilter filter, const QString& pasted, const QString& text) {
    QString kept;
    for (QChar typed : pasted) {
        if (typed == kBackspace || typed == kEnter) continue;
        if (const std::optional<QChar> c = FilterKey(filter, typed, text + kept)) kept += *c;
    }
    return kept;
}

std::optional<QChar> FilterKey(KeyFilter filter, QChar typed, const QString& text) {
    if (typed == kBackspace || typed == kEnter || (typed >= u'0' && typed <= u'9')) return typed;
    if (filter == KeyFilter::Digits) return std::nullopt;
    if (typed == u'+' || typed == u'-') return typed;
    if (typed == u',' || typed == u'.') {
        if (text.contains(kDecimalComma)) return std::nullopt;
        return kDecimalComma;
    }
    return std::nullopt;
}

void FieldEvents::Attach(QLineEdit* field, FieldHandlers handlers) {
    m_fields[field] = std::move(handlers);
    field->installEventFilter(this);
    // A dropped text would pass by the filter.
    field->setAcceptDrops(false);
}

bool FieldEvents::eventFilter(QObject* watched, QEvent* event) {
    auto it = m_fields.find(watched);
    // A field being destroyed is a plain widget by now; it has nothing to say.
    auto* field = qobject_cast<QLineEdit*>(watched);
    if (it == m_fields.end() || field == nullptr) return false;
    const FieldHandlers& h = it->second;
    switch (event->type()) {
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (isEnterKey(key->key())) {
                if (!field->isReadOnly() && h.onEnter) h.onEnter();
                return true;
            }
            if (key->matches(QKeySequence::Paste)) {
                if (!field->isReadOnly()) Paste(field, h.filter);
                return true;
            }
            if (key->key() == Qt::Key_Backspace || isEditingKey(key) || isEditingShortcut(key))
                return false;
            const QString typed = key->text();
            const std::optional<QChar> c = FilterKey(h.filter, typed.front(), field->text());
            if (!c) return true;
            if (*c == typed.front() && typed.size() == 1) return false;
            if (!field->isReadOnly()) field->insert(QString(*c));
            return true;
        }
        case QEvent::MouseButtonPress:
            if (h.onClick) h.onClick();
            return false;
        case QEvent::FocusOut: {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && h.onExit)
                h.onExit();
            return false;
        }
        default:
            return false;
    }
}

// What the selection would leave of the text decides, as for a typed key,
// whether a decimal comma may still come in.
void FieldEvents::Paste(QLineEdit* field, KeyFilter filter) {
    QString rest = field->text();
    if (field->hasSelectedText())
        rest.remove(field->selectionStart(), field->selectedText().size());
    field->insert(FilterText(filter, QGuiApplication::clipboard()->text(), rest));
}

bool ReadNumber(const QLineEdit* field, double& value, bool pointToo) {
    QString text = field->text();
    if (pointToo) text = QString::fromStdString(PointToComma(text.toStdString()));
    return RuToFloat(text, value);
}

double ReadNumberOr(const QLineEdit* field, double fallback, bool pointToo) {
    double v = 0;
    return ReadNumber(field, v, pointToo) ? v : fallback;
}

bool ReadPositiveInt(const QLineEdit* field, int max, int& value) {
    int v = 0;
    if (!RuToInt(field->text(), v) || v < 1 || v > max) return false;
    value = v;
    return true;
}

bool ReplyNumber(const QStringList& fields, int k, double& value) {
    return k > 0 && k < fields.size() && RuToFloat(fields[k], value);
}

QString PercentText(double error, int decimals) {
    if (error > 100) return kNoError;
    return records::RuFixed(error, decimals) + QStringLiteral(" %");
}

void ShowText(QLineEdit* field, const QString& text) {
    if (field->text() != text) field->setText(text);
}

}  // namespace yukt
