#pragma once
// Message boxes a window shows on its own (a dialog's OK, an export's end):
// each one's text is kept and the box closed as it comes, so that a test
// goes on and reads what the operator was told.

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

namespace yukt::testing {

class ClosedBoxes {
  public:
    ClosedBoxes() {
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                told << box->text();
                box->close();
            }
        });
        m_poll.start(20);
    }
    ClosedBoxes(const ClosedBoxes&) = delete;
    ClosedBoxes& operator=(const ClosedBoxes&) = delete;

    QStringList told;

  private:
    QTimer m_poll;
};

}  // namespace yukt::testing
