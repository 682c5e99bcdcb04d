// Lays a document down A4 pages with QPainter: paragraphs wrap at word
// boundaries, a table row is never split (the header row repeats on the next
// page), a heading stays with what follows it, and each page is numbered.
// Columns are never narrower than their longest word, so no word is broken.
#pragma once

#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <functional>
#include <variant>

class QPainter;
class QPdfWriter;

namespace yukt::records {

struct FlowText {
    enum Style { Body, Small, Title, Heading, Subheading };
    QString text;
    Style style = Body;
    Qt::Alignment align = Qt::AlignLeft;
    bool keepWithNext = false;  // headings always keep with what follows
};

struct FlowTable {
    QStringList header;  // empty: no header row
    QList<QStringList> rows;
    bool grid = true;
    QList<Qt::Alignment> align;  // per column; left where not given
    bool keepWithNext = false;   // its last row stays on the page of what follows
    bool whole = false;          // never split across pages (a short table)
};

// A picture of a fixed height drawn across the text width (a chart).
struct FlowDrawing {
    double heightMm = 60;
    std::function<void(QPainter&, const QRectF&)> draw;
    bool keepWithNext = false;
};

using FlowBlock = std::variant<FlowText, FlowTable, FlowDrawing>;

// Marks a block of any kind to keep with the block after it.
void KeepWithNext(FlowBlock& block);

// Headings (and texts marked so) keep with the block after them. Every page gets `footer` and
// "страница N из M" at its foot.
void RenderFlow(QPdfWriter& writer, const QList<FlowBlock>& blocks, const QString& footer);

}  // namespace yukt::records
