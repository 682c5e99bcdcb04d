#pragma once
// A verification page open on the simulated bench: the module is detected,
// the switch set to "Режим поверки" and the instrument opened exactly as the
// operator does it. The poll timer is stopped; tests poll when they want a
// reply, so that every reply is the one they asked for.

#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app_rig.h"
#include "instrument/cprbr.h"

namespace yukt::testing {

class PageRig : public AppRig {
  public:
    using AppRig::AppRig;
    // The instrument's worker reaches the recorder below until the window
    // closes it (closing waits for the worker's pass to end).
    ~PageRig() { form.reset(); }

    // quartzKHz > 0 replaces the generator quartz found at start-up before
    // the page is set up (the reference frequencies are computed with it);
    // `setup` prepares the module's FLASH before it is detected.
    TMainForm& openPage(const std::string& model, const std::string& second = {},
                        double quartzKHz = 0,
                        const std::function<void(sim::SimModule&)>& setup = nullptr) {
        TMainForm& f = launch();
        {
            auto lk = bench.lock();
            sim::SimModule& m = plug(model, 3);
            if (setup) setup(m);
            if (!second.empty()) {
                auto m = sim::makeDevice(second);
                m->flash().setAddress(4);
                bench.plugSecond(std::move(m)).powerOn();
            }
        }
        next();
        next();
        bench.setModeSwitch(sim::ModeSwitch::Verification);
        if (quartzKHz > 0) f.QuartzKHz = quartzKHz;
        next();
        f.PollTimer->stop();
        recordCommands();
        return f;
    }

    // Until the instrument has taken every queued command and the replies
    // they produced have been shown.
    bool settle(int ms = 10000) {
        const bool done = QTest::qWaitFor([this] { return form->CommandQueue().empty(); }, ms);
        QCoreApplication::processEvents();
        return done;
    }

    // Queues the page's poll command and waits for the display of the reply.
    bool poll(int ms = 10000) {
        if (!settle(ms)) return false;
        QSignalSpy shown(form.get(), &TMainForm::replyShown);
        form->QueueCommand(form->PollCommand);
        return shown.count() > 0 || shown.wait(ms);
    }

    // A reply line as the instrument hands it to the window.
    bool reply(const std::string& line, int ms = 5000) {
        if (!settle(ms)) return false;
        QSignalSpy shown(form.get(), &TMainForm::replyShown);
        PublishReply(line);
        return shown.count() > 0 || shown.wait(ms);
    }

    void advance(double seconds) {
        auto lk = bench.lock();
        bench.clock().advance(seconds);
    }

    // The text typed over the field's text, then Enter.
    static void enter(QLineEdit* field, const QString& text) {
        field->setText(text);
        QTest::keyClick(field, Qt::Key_Return);
    }

    // The commands the instrument has consumed since the last call, polls
    // left out; waits for the queue to run empty first.
    QStringList sentCommands() {
        settle();
        std::lock_guard<std::mutex> guard(m_sentLock);
        QStringList out;
        for (const std::string& c : m_sent)
            if (c.rfind("Get ", 0) != 0) out << QString::fromStdString(c);
        m_sent.clear();
        return out;
    }

    // Saves the window as it is drawn to `name` in the directory named by
    // YUKT_SCREENSHOT_DIR (docs/img for the README), else in a scratch
    // directory; returns the picture.
    QImage screenshot(const QString& name) {
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get())) return {};
        const QImage image = form->grab().toImage();
        QString dir = qEnvironmentVariable("YUKT_SCREENSHOT_DIR");
        if (dir.isEmpty()) dir = m_shots.path();
        image.save(dir + "/" + name);
        return image;
    }

    // The text of the last message box, empty when none was shown.
    QString lastMessage() const {
        return dialogs.calls.empty() ? QString() : dialogs.calls.back().text;
    }

  private:
    // The head of the queue is the command the instrument has just consumed
    // when its OnSet fires.
    void recordCommands() {
        TcPrbr* instrument = form->Instrument();
        if (instrument == nullptr) return;
        TNotifyEvent original = instrument->OnSet();
        // The window outlives its instrument; the rig's pointer to it does not.
        TMainForm* window = form.get();
        instrument->SetOnSet([this, window, original](TcPrbr& sender) {
            const std::deque<std::string> queue = window->CommandQueue();
            if (!queue.empty()) {
                std::lock_guard<std::mutex> guard(m_sentLock);
                m_sent.push_back(queue.front());
            }
            if (original) original(sender);
        });
    }

    QTemporaryDir m_shots;
    std::mutex m_sentLock;
    std::vector<std::string> m_sent;
};

}  // namespace yukt::testing
