#include "app/text_fit.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QStyleOptionGroupBox>
#include <QVariant>
#include <algorithm>

namespace yukt {

namespace {

// The font a control had before it was first fitted.
const char* const kBaseFont = "yuktBaseFont";
// What the control's present font was fitted to (see shapeOf).
const char* const kFittedShape = "yuktFittedShape";

QFont baseFontOf(QWidget* w) {
    const QVariant v = w->property(kBaseFont);
    if (v.isValid()) return v.value<QFont>();
    w->setProperty(kBaseFont, w->font());
    return w->font();
}

bool figuresAlike(const QFont& f) {
    const QFontMetrics m(f);
    const int zero = m.horizontalAdvance(QLatin1Char('0'));
    for (char d = '1'; d <= '9'; ++d)
        if (m.horizontalAdvance(QLatin1Char(d)) != zero) return false;
    return true;
}

// A reading changes its digits with every reply and keeps its shape. Where
// all figures are of one width, as in the fonts the pages use, texts of one
// shape take one width: the font fitted to the last of them still fits, and
// measuring again is spared. The shape is the text with its digits alike and
// the control's width; empty where the figures differ.
QString shapeOf(QWidget* w, const QFont& base, const QString& text) {
    static QHash<QString, bool> alike;
    const QString key = base.key();
    auto found = alike.constFind(key);
    if (found == alike.constEnd()) found = alike.insert(key, figuresAlike(base));
    if (!found.value()) return QString();
    QString shape = text;
    for (QChar& c : shape)
        if (c.isDigit()) c = QLatin1Char('0');
    return shape + QChar(0) + QString::number(w->width());
}

bool fits(const QFont& f, const QString& text, int width) {
    return QFontMetrics(f).horizontalAdvance(text) <= width;
}

template <typename W>
void fit(W* w, const QString& text) {
    const QFont base = baseFontOf(w);
    const QString shape = shapeOf(w, base, text);
    if (!shape.isEmpty() && w->property(kFittedShape).toString() == shape) return;
    const QFont f = FittingFont(base, text, TextRoom(w));
    if (f != w->font()) w->setFont(f);
    w->setProperty(kFittedShape, shape);
}

}  // namespace

QFont FittingFont(const QFont& base, const QString& text, int width) {
    if (fits(base, text, width)) return base;
    QFont narrow = base;
    narrow.setFamilies({QStringLiteral("Arial Narrow"), QStringLiteral("Liberation Sans Narrow")});
    for (double size = base.pointSizeF(); size > kMinFitPointSize; size -= 0.5) {
        narrow.setPointSizeF(size);
        if (fits(narrow, text, width)) return narrow;
    }
    narrow.setPointSizeF(kMinFitPointSize);
    return narrow;
}

int TextRoom(const QLineEdit* edit) {
    QStyleOptionFrame opt;
    opt.initFrom(edit);
    opt.rect = edit->rect();
    opt.lineWidth =
        edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, edit) : 0;
    const QRect r = edit->style()->subElementRect(QStyle::SE_LineEditContents, &opt, edit);
    const QMargins m = edit->textMargins();
    // The line edit keeps two pixels on each side and one for the cursor.
    return r.width() - m.left() - m.right() - 2 * 2 - 1;
}

int TextRoom(const QGroupBox* group) {
    QStyleOptionGroupBox opt;
    opt.initFrom(group);
    opt.rect = group->rect();
    opt.text = QString();
    opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    const QRect label =
        group->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, group);
    // The caption starts where an empty one would and may run to the frame's
    // right edge less the same indent.
    return group->width() - 2 * std::max(label.left(), 4);
}

int TextRoom(const QLabel* label) { return label->contentsRect().width() - 2 * label->margin(); }

void FitText(QLineEdit* edit) { fit(edit, edit->text()); }

void FitText(QGroupBox* group) {
    // The group's own font would pass to its children: they keep theirs.
    if (!group->property(kBaseFont).isValid())
        for (QWidget* child : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            child->setFont(child->font());
    fit(group, group->title());
}

void FitText(QLabel* label) {
    if (label->wordWrap() || label->text().isEmpty()) return;
    fit(label, label->text());
}

void KeepTextsFitting(QWidget* root) {
    for (QGroupBox* g : root->findChildren<QGroupBox*>()) FitText(g);
    for (QLabel* l : root->findChildren<QLabel*>()) FitText(l);
    for (QLineEdit* e : root->findChildren<QLineEdit*>()) {
        FitText(e);
        QObject::connect(e, &QLineEdit::textChanged, e, [e] { FitText(e); });
    }
}

}  // namespace yukt
