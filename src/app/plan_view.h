#pragma once
// The plan of the module as a tree: every operation, and under an error
// operation every channel, with its state ("не начата", "идёт", "годен",
// "не годен", "не измерена"); failed rows in red, the points of a channel in
// its tooltip. A failed or unmeasured row carries "Повторить": one click
// measures its failed and unmeasured items again.

#include <QTreeWidget>
#include <functional>
#include <vector>

#include "app/verification_session.h"

namespace yukt {

class TPlanView : public QTreeWidget {
    Q_OBJECT
  public:
    explicit TPlanView(QWidget* parent = nullptr);
    // Rebuilds the rows; `state` gives each item's state.
    void Show(const verify::Plan& plan, const std::function<ItemState(int)>& state);
    // Updates the states of the rows already shown.
    void Refresh(const std::function<ItemState(int)>& state);

  signals:
    void remeasure(const std::vector<int>& items);

  private:
    void SetState(QTreeWidgetItem* row, const std::vector<int>& items,
                  const std::function<ItemState(int)>& state);
    void WillChange();

    bool m_layoutScheduled = false;
};

// The state of a group of items: under way, failed, unmeasured, not started,
// in that order of weight; passed only when every item passed.
ItemState GroupState(const std::vector<ItemState>& states);

}  // namespace yukt
