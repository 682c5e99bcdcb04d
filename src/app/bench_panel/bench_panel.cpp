#include "app/bench_panel/bench_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "records/ru_format.h"
#include "sim/bench_control.h"
#include "sim/device_table.h"
#include "widgets/led_indicator.h"

namespace yukt {

BenchPanel::BenchPanel(std::unique_ptr<sim::Bench> bench, std::unique_ptr<sim::PtyLine> line,
                       QWidget* parent)
    : QWidget(parent), m_bench(std::move(bench)), m_line(std::move(line)) {
    setWindowTitle(QStringLiteral("Калибратор КП \"ЗИРОК-М\" (имитация)"));
    auto* root = new QVBoxLayout(this);

    auto* mode = new QGroupBox(QStringLiteral("Переключатель режима работы"), this);
    auto* modeRow = new QHBoxLayout(mode);
    m_replace = new QRadioButton(QStringLiteral("Режим замены модуля"), mode);
    m_verify = new QRadioButton(QStringLiteral("Режим поверки"), mode);
    modeRow->addWidget(m_replace);
    modeRow->addWidget(m_verify);
    root->addWidget(mode);
    connect(m_replace, &QRadioButton::clicked, this, [this] { command("switch replace"); });
    connect(m_verify, &QRadioButton::clicked, this, [this] { command("switch verify"); });

    auto* bus = new QGroupBox(QStringLiteral("Шина обмена"), this);
    auto* busRow = new QHBoxLayout(bus);
    m_model = new QComboBox(bus);
    m_model->addItem(QStringLiteral("нет модуля"), QStringLiteral("none"));
    for (std::string_view model : sim::simulatedModels())
        m_model->addItem(QString::fromUtf8(model.data(), int(model.size())),
                         QString::fromUtf8(model.data(), int(model.size())));
    m_address = new QSpinBox(bus);
    m_address->setRange(0, 15);
    m_address->setValue(sim::kDefaultUnderTestAddress);
    m_address->setPrefix(QStringLiteral("адрес FLASH "));
    auto* plug = new QPushButton(QStringLiteral("Вставить модуль"), bus);
    m_busLed = new LedIndicator(bus);
    m_busLed->setColor(Qt::green);
    m_busLed->setFixedSize(16, 16);
    busRow->addWidget(m_model);
    busRow->addWidget(m_address);
    busRow->addWidget(plug);
    busRow->addWidget(m_busLed);
    root->addWidget(bus);
    connect(plug, &QPushButton::clicked, this, &BenchPanel::plugModule);

    m_meter = new QCheckBox(QStringLiteral("Измеритель 745t (адрес 4)"), this);
    root->addWidget(m_meter);
    connect(m_meter, &QCheckBox::clicked, this,
            [this](bool on) { command(on ? "meter on" : "meter off"); });

    auto* outputs = new QGroupBox(QStringLiteral("Выходы генераторов"), this);
    auto* form = new QFormLayout(outputs);
    m_current = new QLabel(outputs);
    m_frequency = new QLabel(outputs);
    m_interval = new QLabel(outputs);
    form->addRow(QStringLiteral("Ток 787x (адрес 1):"), m_current);
    form->addRow(QStringLiteral("Частота 788t (адрес 2):"), m_frequency);
    form->addRow(QStringLiteral("Интервал 788t:"), m_interval);
    root->addWidget(outputs);

    m_state = new QPlainTextEdit(this);
    m_state->setReadOnly(true);
    m_state->setMinimumHeight(120);
    root->addWidget(m_state);
    m_message = new QLabel(this);
    root->addWidget(m_message);

    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &BenchPanel::refresh);
    timer->start(200);
    refresh();

    if (m_line) m_server = std::thread([this] { m_line->serve(*m_bench, false, m_stop); });
}

BenchPanel::~BenchPanel() {
    m_stop = true;
    if (m_server.joinable()) m_server.join();
}

QString BenchPanel::command(const QString& text) {
    const std::vector<std::string> words = sim::splitCommandLine(text.toStdString());
    const QString error = QString::fromStdString(sim::applyBenchCommand(*m_bench, words));
    m_message->setText(error.isEmpty()
                           ? QStringLiteral("> ") + text
                           : QStringLiteral("> ") + text + QStringLiteral(": ") + error);
    refresh();
    return error;
}

void BenchPanel::plugModule() {
    const QString model = m_model->currentData().toString();
    if (model == QLatin1String("none")) {
        command(QStringLiteral("unplug"));
        return;
    }
    if (command(QStringLiteral("module ") + model).isEmpty() &&
        m_address->value() != sim::kDefaultUnderTestAddress)
        command(QStringLiteral("address ") + QString::number(m_address->value()));
}

void BenchPanel::refresh() {
    auto lk = m_bench->lock();
    const sim::Physics& p = m_bench->physics();
    const bool verify = m_bench->modeSwitch() == sim::ModeSwitch::Verification;
    m_replace->setChecked(!verify);
    m_verify->setChecked(verify);
    m_meter->setChecked(m_bench->meter() != nullptr);
    m_current->setText(records::RuFixed(p.generatorCurrentMa, 3) + QStringLiteral(" мА"));
    m_frequency->setText(p.pulses.running()
                             ? records::RuFixed(p.pulses.frequencyHz(), 4) + QStringLiteral(" Гц")
                             : QStringLiteral("нет"));
    m_interval->setText(p.gate.armed() && p.gate.close != sim::kNever
                            ? records::RuFixed(p.gate.close - p.gate.open, 6) + QStringLiteral(" с")
                            : QStringLiteral("нет"));
    // The lamp blinks while the workstation talks on the line.
    const std::uint64_t requests = m_bench->requestCount();
    m_busLed->setLit(requests != m_lastRequests);
    m_lastRequests = requests;
    const QString state = QString::fromStdString(sim::describeBench(*m_bench));
    if (m_state->toPlainText() != state) m_state->setPlainText(state);
}

}  // namespace yukt
