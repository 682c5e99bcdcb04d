#include "records/page_flow.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>
#include <memory>

namespace yukt::records {
namespace {

const QString kFontFamily = QStringLiteral("Liberation Sans");
constexpr double kCellPadMm = 1.2;

QFont FontOf(FlowText::Style style, bool bold = false) {
    QFont f(kFontFamily);
    switch (style) {
        case FlowText::Title:
            f.setPointSizeF(14), f.setBold(true);
            break;
        case FlowText::Heading:
            f.setPointSizeF(11.5), f.setBold(true);
            break;
        case FlowText::Subheading:
            f.setPointSizeF(10), f.setBold(true);
            break;
        case FlowText::Small:
            f.setPointSizeF(8);
            break;
        case FlowText::Body:
            f.setPointSizeF(10);
            break;
    }
    if (bold) f.setBold(true);
    return f;
}

bool KeepsWithNext(const FlowBlock& b) {
    const FlowText* t = std::get_if<FlowText>(&b);
    return t &&
           (t->keepWithNext || t->style == FlowText::Heading || t->style == FlowText::Subheading);
}

// Text broken into lines of a width; a word is broken only when it alone is
// wider than the line, which column widths rule out.
class Lines {
  public:
    Lines(const QString& text, const QFont& font, QPaintDevice* device, double width,
          Qt::Alignment align)
        : m_layout(std::make_unique<QTextLayout>(text, font, device)) {
        QTextOption option(align);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        m_layout->setTextOption(option);
        m_layout->beginLayout();
        for (QTextLine line = m_layout->createLine(); line.isValid();
             line = m_layout->createLine()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0, m_height));
            m_height += line.height();
        }
        m_layout->endLayout();
    }
    int Count() const { return m_layout->lineCount(); }
    double Height() const { return m_height; }
    double LineHeight(int i) const { return m_layout->lineAt(i).height(); }
    void DrawLine(QPainter& p, int i, QPointF at) const {
        const QTextLine line = m_layout->lineAt(i);
        line.draw(&p, at - QPointF(0, line.y()));
    }
    void Draw(QPainter& p, QPointF at) const { m_layout->draw(&p, at); }

  private:
    std::unique_ptr<QTextLayout> m_layout;
    double m_height = 0;
};

class Flow {
  public:
    Flow(QPdfWriter& writer, QPainter* painter, const QString& footer, int pages)
        : m_writer(writer), m_painter(painter), m_footer(footer), m_pages(pages) {
        const QRect page = writer.pageLayout().paintRectPixels(writer.resolution());
        m_area = QRectF(0, 0, page.width(), page.height() - Mm(8));  // the foot is below
        m_y = m_area.top();
    }

    void Run(const QList<FlowBlock>& blocks) {
        for (int i = 0; i < blocks.size(); ++i) {
            m_y += Space(blocks[i]);
            if (m_y > m_area.top() + Space(blocks[i]) && m_y + FirstUnit(blocks, i) > Bottom())
                NewPage();
            if (const FlowText* t = std::get_if<FlowText>(&blocks[i])) Place(*t);
            if (const FlowTable* t = std::get_if<FlowTable>(&blocks[i]))
                Place(*t, t->keepWithNext ? Tail(blocks, i) : 0);
            if (const FlowDrawing* d = std::get_if<FlowDrawing>(&blocks[i])) Place(*d);
        }
        Foot();
    }
    int Pages() const { return m_page; }

  private:
    double Mm(double mm) const { return mm * m_writer.resolution() / 25.4; }
    double Bottom() const { return m_area.bottom(); }
    bool AtTop() const { return m_y <= m_area.top() + 0.5; }

    double Space(const FlowBlock& b) const {
        if (const FlowText* t = std::get_if<FlowText>(&b))
            return Mm(t->style == FlowText::Heading      ? 4
                      : t->style == FlowText::Subheading ? 2.5
                                                         : 1);
        return Mm(1.5);
    }

    // What must fit below a block that keeps with the next one.
    double Tail(const QList<FlowBlock>& blocks, int i) const {
        return i + 1 < blocks.size() ? Space(blocks[i + 1]) + FirstUnit(blocks, i + 1) : 0;
    }

    double TableHeight(const FlowTable& t) const {
        const QList<double> widths = Widths(t);
        double h = t.header.isEmpty() ? 0 : RowHeight(t.header, widths, true);
        for (const QStringList& row : t.rows) h += RowHeight(row, widths, false);
        return h;
    }

    // The least that must fit below a block's start: a heading with the
    // first line or row of what it heads, a row with the header above it;
    // a whole table, a drawing, and what keeps with them.
    double FirstUnit(const QList<FlowBlock>& blocks, int i) const {
        const FlowBlock& b = blocks[i];
        if (KeepsWithNext(b)) {
            const FlowText& t = std::get<FlowText>(b);
            const double own =
                Lines(t.text, FontOf(t.style), &m_writer, m_area.width(), t.align).Height();
            return i + 1 < blocks.size() ? own + Space(blocks[i + 1]) + FirstUnit(blocks, i + 1)
                                         : own;
        }
        if (const FlowText* t = std::get_if<FlowText>(&b)) {
            Lines lines(t->text, FontOf(t->style), &m_writer, m_area.width(), t->align);
            return lines.Count() ? lines.LineHeight(0) : 0;
        }
        if (const FlowTable* t = std::get_if<FlowTable>(&b)) {
            const QList<double> widths = Widths(*t);
            double h = t->header.isEmpty() ? 0 : RowHeight(t->header, widths, true);
            if (t->whole || (t->keepWithNext && t->rows.size() <= 1))
                return TableHeight(*t) + (t->keepWithNext ? Tail(blocks, i) : 0);
            return h + (t->rows.isEmpty() ? 0 : RowHeight(t->rows[0], widths, false));
        }
        const FlowDrawing& d = std::get<FlowDrawing>(b);
        return Mm(d.heightMm) + (d.keepWithNext ? Tail(blocks, i) : 0);
    }

    void NewPage() {
        Foot();
        if (m_painter) m_writer.newPage();
        m_y = m_area.top();
    }

    void Foot() {
        ++m_page;
        if (!m_painter) return;
        m_painter->setFont(FontOf(FlowText::Small));
        const QRectF foot(0, m_area.bottom() + Mm(3), m_area.width(), Mm(5));
        m_painter->drawText(foot, Qt::AlignLeft | Qt::AlignVCenter, m_footer);
        m_painter->drawText(foot, Qt::AlignRight | Qt::AlignVCenter,
                            QStringLiteral("страница %1 из %2").arg(m_page).arg(m_pages));
    }

    void Place(const FlowText& t) {
        Lines lines(t.text, FontOf(t.style), &m_writer, m_area.width(), t.align);
        for (int i = 0; i < lines.Count(); ++i) {
            if (!AtTop() && m_y + lines.LineHeight(i) > Bottom()) NewPage();
            if (m_painter) {
                m_painter->setPen(Qt::black);
                lines.DrawLine(*m_painter, i, QPointF(m_area.left(), m_y));
            }
            m_y += lines.LineHeight(i);
        }
    }

    QList<double> Widths(const FlowTable& t) const {
        const int columns =
            t.header.isEmpty() ? (t.rows.isEmpty() ? 0 : t.rows[0].size()) : t.header.size();
        QList<double> least(columns, 0), wanted(columns, 0);
        auto measure = [&](const QStringList& row, bool bold) {
            const QFontMetricsF m(FontOf(FlowText::Body, bold), &m_writer);
            for (int c = 0; c < columns && c < row.size(); ++c) {
                for (const QString& word : row[c].split(' ', Qt::SkipEmptyParts))
                    least[c] = qMax(least[c], m.horizontalAdvance(word));
                wanted[c] = qMax(wanted[c], m.horizontalAdvance(row[c]));
            }
        };
        measure(t.header, true);
        for (const QStringList& row : t.rows) measure(row, false);
        const double pad = 2 * Mm(kCellPadMm) + 2;
        double sumLeast = 0, sumWanted = 0;
        for (int c = 0; c < columns; ++c) {
            least[c] += pad;
            wanted[c] += pad;
            sumLeast += least[c];
            sumWanted += wanted[c];
        }
        const double width = m_area.width();
        QList<double> out(columns);
        for (int c = 0; c < columns; ++c) {
            if (sumWanted <= width)
                out[c] = wanted[c] * width / sumWanted;
            else if (sumLeast <= width)
                out[c] = least[c] + (width - sumLeast) * (wanted[c] - least[c]) /
                                        qMax(1.0, sumWanted - sumLeast);
            else  // a word wider than the page would allow: the only case it breaks
                out[c] = least[c] * width / sumLeast;
        }
        return out;
    }

    double RowHeight(const QStringList& row, const QList<double>& widths, bool bold) const {
        double h = 0;
        for (int c = 0; c < widths.size(); ++c)
            h = qMax(h, Lines(row.value(c), FontOf(FlowText::Body, bold), &m_writer,
                              widths[c] - 2 * Mm(kCellPadMm), Qt::AlignLeft)
                            .Height());
        return h + 2 * Mm(kCellPadMm);
    }

    void DrawRow(const FlowTable& t, const QStringList& row, const QList<double>& widths, bool bold,
                 double height) {
        if (!m_painter) return;
        double x = m_area.left();
        for (int c = 0; c < widths.size(); ++c) {
            const QRectF cell(x, m_y, widths[c], height);
            if (t.grid) {
                m_painter->setPen(QPen(Qt::black, Mm(0.2)));
                m_painter->drawRect(cell);
            }
            m_painter->setPen(Qt::black);
            const Qt::Alignment align = bold ? Qt::AlignHCenter : t.align.value(c, Qt::AlignLeft);
            Lines(row.value(c), FontOf(FlowText::Body, bold), &m_writer,
                  widths[c] - 2 * Mm(kCellPadMm), align)
                .Draw(*m_painter, cell.topLeft() + QPointF(Mm(kCellPadMm), Mm(kCellPadMm)));
            x += widths[c];
        }
    }

    // `tail`: what must follow the last row on its page.
    void Place(const FlowTable& t, double tail) {
        const QList<double> widths = Widths(t);
        const bool header = !t.header.isEmpty();
        const double headerHeight = header ? RowHeight(t.header, widths, true) : 0;
        if (header) {
            DrawRow(t, t.header, widths, true, headerHeight);
            m_y += headerHeight;
        }
        for (int r = 0; r < t.rows.size(); ++r) {
            const QStringList& row = t.rows[r];
            const double h = RowHeight(row, widths, false);
            const double after = r + 1 == t.rows.size() && r > 0 ? tail : 0;
            if (m_y + h > Bottom() || (after > 0 && m_y + h + after > Bottom())) {
                NewPage();
                if (header) {
                    DrawRow(t, t.header, widths, true, headerHeight);
                    m_y += headerHeight;
                }
            }
            DrawRow(t, row, widths, false, h);
            m_y += h;
        }
    }

    void Place(const FlowDrawing& d) {
        const double h = Mm(d.heightMm);
        if (!AtTop() && m_y + h > Bottom()) NewPage();
        if (m_painter && d.draw) {
            m_painter->save();
            d.draw(*m_painter, QRectF(m_area.left(), m_y, m_area.width(), h));
            m_painter->restore();
        }
        m_y += h;
    }

    QPdfWriter& m_writer;
    QPainter* m_painter;
    QString m_footer;
    int m_pages;
    QRectF m_area;
    double m_y = 0;
    int m_page = 0;
};

}  // namespace

void KeepWithNext(FlowBlock& block) {
    std::visit([](auto& b) { b.keepWithNext = true; }, block);
}

void RenderFlow(QPdfWriter& writer, const QList<FlowBlock>& blocks, const QString& footer) {
    // The first pass only counts the pages, so each foot can say "из M".
    Flow counting(writer, nullptr, footer, 0);
    counting.Run(blocks);
    QPainter painter(&writer);
    Flow drawing(writer, &painter, footer, counting.Pages());
    drawing.Run(blocks);
}

}  // namespace yukt::records
