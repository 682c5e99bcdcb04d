#include "app/plan_view.h"

#include <QHeaderView>
#include <QPushButton>

#include "records/ru_format.h"

namespace yukt {

using namespace verify;

namespace {

constexpr int kStateColumn = 1, kButtonColumn = 2;
// The plan items of a row.
constexpr int kItemsRole = Qt::UserRole;

std::vector<int> itemsOf(const QTreeWidgetItem* row) {
    std::vector<int> out;
    for (const QVariant& v : row->data(0, kItemsRole).toList()) out.push_back(v.toInt());
    return out;
}

}  // namespace

ItemState GroupState(const std::vector<ItemState>& states) {
    for (ItemState s :
         {ItemState::Running, ItemState::Fail, ItemState::NotMeasured, ItemState::NotStarted})
        if (std::find(states.begin(), states.end(), s) != states.end()) return s;
    return ItemState::Pass;
}

TPlanView::TPlanView(QWidget* parent) : QTreeWidget(parent) {
    setObjectName("PlanView");
    setColumnCount(3);
    setHeaderLabels({QStringLiteral("операция / канал"), QStringLiteral("состояние"), QString()});
    header()->setSectionResizeMode(0, QHeaderView::Stretch);
    header()->setSectionResizeMode(kStateColumn, QHeaderView::ResizeToContents);
    header()->setSectionResizeMode(kButtonColumn, QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setWordWrap(true);
}

void TPlanView::Show(const Plan& plan, const std::function<ItemState(int)>& state) {
    clear();
    QTreeWidgetItem* op = nullptr;
    QTreeWidgetItem* channel = nullptr;
    auto add = [](QTreeWidgetItem* row, int item) {
        QVariantList items = row->data(0, kItemsRole).toList();
        items << item;
        row->setData(0, kItemsRole, items);
    };
    for (const PlanItem& it : plan.items) {
        if (op == nullptr ||
            op->data(0, Qt::UserRole + 1).toString() != QString::fromStdString(it.operation)) {
            op = new QTreeWidgetItem(this, {QString::fromStdString(it.operation + " " + it.title)});
            op->setData(0, Qt::UserRole + 1, QString::fromStdString(it.operation));
            op->setToolTip(0, op->text(0));
            channel = nullptr;
        }
        add(op, it.item);
        if (it.kind != OperationKind::Error) continue;
        if (channel == nullptr || channel->data(0, Qt::UserRole + 1).toInt() != it.channel) {
            channel = new QTreeWidgetItem(op, {QStringLiteral("Канал %1").arg(it.channel)});
            channel->setData(0, Qt::UserRole + 1, it.channel);
        }
        add(channel, it.item);
        const QString point = records::RuShort(it.nominal) + " " + QString::fromUtf8(QuantityUnit(it.quantity));
        channel->setToolTip(
            0, channel->toolTip(0).isEmpty() ? point : channel->toolTip(0) + "; " + point);
    }
    expandAll();
    Refresh(state);
}

void TPlanView::Refresh(const std::function<ItemState(int)>& state) {
    m_layoutScheduled = false;
    for (QTreeWidgetItemIterator i(this); *i; ++i) SetState(*i, itemsOf(*i), state);
}

// Each changed cell would have its row measured at once; with a layout of
// the whole view scheduled, the rows are measured once, after the changes
// (the sixteen channels of a series change together).
void TPlanView::WillChange() {
    if (m_layoutScheduled) return;
    m_layoutScheduled = true;
    scheduleDelayedItemsLayout();
}

void TPlanView::SetState(QTreeWidgetItem* row, const std::vector<int>& items,
                         const std::function<ItemState(int)>& state) {
    std::vector<ItemState> states;
    std::vector<int> again;
    for (int item : items) {
        states.push_back(state(item));
        if (states.back() == ItemState::Fail || states.back() == ItemState::NotMeasured)
            again.push_back(item);
    }
    const ItemState s = GroupState(states);
    // Each change lays the view out again: rows whose state stays are left.
    const QString text = ItemStateText(s);
    const QBrush colour = s == ItemState::Fail ? QBrush(Qt::red) : QBrush();
    if (row->text(kStateColumn) != text) {
        WillChange();
        row->setText(kStateColumn, text);
    }
    for (int c = 0; c < kButtonColumn; ++c)
        if (row->foreground(c) != colour) {
            WillChange();
            row->setForeground(c, colour);
        }
    QWidget* old = itemWidget(row, kButtonColumn);
    if (again.empty() || s == ItemState::Running) {
        if (old) removeItemWidget(row, kButtonColumn);
        return;
    }
    auto* btn = qobject_cast<QPushButton*>(old);
    if (btn == nullptr) {
        btn = new QPushButton(QStringLiteral("Повторить"));
        btn->setObjectName("RemeasureBtn");
        setItemWidget(row, kButtonColumn, btn);
    }
    btn->disconnect();
    connect(btn, &QPushButton::clicked, this, [this, again] { emit remeasure(again); });
}

}  // namespace yukt
