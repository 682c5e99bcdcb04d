#include "modules/tp74x1.h"

#include <cmath>
#include <span>

#include "link/tp6606.h"

namespace yukt {

namespace {

// Nominal resistance tables, Ω, one entry every 10 °C from T0.
constexpr double kPt1391[] = {
    51.36,  55.50,  59.62,  63.72,  67.81,  71.88,  75.94,  79.98,  84.01,  88.03,  92.03,
    96.02,  100.00, 103.96, 107.92, 111.86, 115.79, 119.71, 123.61, 127.51, 131.39, 135.26,
    139.10, 142.96, 146.79, 150.61, 154.42, 158.22, 162.01, 165.78, 169.54, 173.29, 177.03,
    180.76, 184.48, 188.18, 191.87, 195.55, 199.22, 202.88, 206.52, 210.16, 213.78, 217.39,
    220.99, 224.58, 228.15, 231.71, 235.27, 238.81, 242.34, 245.85, 249.36, 252.85, 256.33,
    259.80, 263.26, 266.71, 270.14, 273.56, 276.98, 280.37, 283.76, 287.13, 290.50};
constexpr double kCu1428[] = {
    12.16,  16.27,  20.61,  25.08,  29.62,  34.18,  38.73,  43.21,  47.69,  52.16,  56.61,
    61.03,  65.42,  69.79,  74.15,  78.48,  82.81,  87.12,  91.42,  95.72,  100.00, 104.28,
    108.56, 112.84, 117.12, 121.40, 125.68, 129.96, 134.24, 138.52, 142.80, 147.08, 151.36,
    155.64, 159.91, 164.19, 168.47, 172.75, 177.03, 181.30, 185.58};
constexpr double kPtEuro[] = {72.29,  76.28,  80.25,  84.21,  88.17,  92.13,  96.07, 100.00,
                              103.90, 107.79, 111.67, 115.54, 119.40, 123.24, 127.07};
constexpr double kPt1385[] = {
    52.11,  56.19,  60.25,  64.30,  68.33,  72.33,  76.33,  80.31,  84.27,  88.22,  92.16,
    96.09,  100.00, 103.90, 107.79, 111.67, 115.54, 119.40, 123.24, 127.07, 130.89, 134.70,
    138.50, 142.29, 146.06, 149.82, 153.58, 157.31, 161.04, 164.76, 168.46, 172.16, 175.84,
    179.51, 183.17, 186.82, 190.45, 194.07, 197.69, 201.29, 204.88, 208.45, 212.02, 215.57,
    219.12, 222.65, 226.17, 229.67, 233.17, 236.65, 240.13, 243.59, 247.04, 250.48, 253.90,
    257.32, 260.72, 264.11, 267.49, 270.86, 274.22, 277.56, 280.90, 284.22, 287.53};
constexpr double kCu1426[] = {78.70,  82.96,  87.22,  91.48,  95.74,  100.00, 104.26,
                              108.52, 112.78, 117.04, 121.30, 125.56, 129.82, 134.08,
                              138.34, 142.60, 146.86, 151.12, 155.38, 159.64, 163.90,
                              168.16, 172.42, 176.68, 180.94, 185.20};
constexpr double kCu53[] = {41.71, 43.97, 46.23, 48.48, 50.74, 53.00, 55.26, 57.52,
                            59.77, 62.03, 64.29, 66.55, 68.81, 71.06, 73.32, 75.58,
                            77.84, 80.09, 82.35, 84.61, 86.87, 89.13, 91.38, 93.64};

struct RtdTable {
    double t0;                  // temperature of entry 0, °C
    std::span<const double> r;  // entries 0..n
    bool edgeSegmentsAccepted;  // false: the first and last segments lie outside the range
};

const RtdTable kTables[] = {
    {-120, kPt1391, false}, {-200, kCu1428, false}, {-70, kPtEuro, false},
    {-120, kPt1385, false}, {-50, kCu1426, false},  {-50, kCu53, true},
};

const RtdTable& tableOf(std::uint8_t material) { return kTables[material < 6 ? material : 0]; }

bool inRange(double x, double lo, double hi) { return x >= lo && x <= hi; }

}  // namespace

Ttp74x1::Ttp74x1(ModuleContext& ctx) : Ttp74xx(ctx) { SetMaterial(1); }

void Ttp74x1::SetRRef(double x) {
    SetError(kErrOk);
    if (inRange(x, 5, 5000))
        m_rRef = x;
    else
        SetError(kErrParameter);
}

void Ttp74x1::SetRRefGroup(int group, double x) {
    SetError(kErrOk);
    if (group < 1 || group > 4) return;
    if (inRange(x, 5, 5000))
        m_rRefGroup[group - 1] = x;
    else
        SetError(kErrParameter);
}

void Ttp74x1::SetChanOffset(int index, double x) {
    SetError(kErrOk);
    if (index < 1 || index > 32) return;
    if (std::fabs(x) > 5000)
        SetError(kErrParameter);
    else
        m_chanOffset[index - 1] = x;
}

float Ttp74x1::GetChanOffset(int index) const {
    return (index >= 1 && index <= 32) ? static_cast<float>(m_chanOffset[index - 1]) : 0.0f;
}

void Ttp74x1::SetChanParam(int index, int a) {
    SetError(kErrOk);
    if (index < 1 || index > 32) return;
    if (a >= 1 && a <= 99)
        m_chanParam[index - 1] = a;
    else
        SetError(kErrParameter);
}

int Ttp74x1::GetChanParam(int index) const {
    return (index >= 1 && index <= 32) ? m_chanParam[index - 1] : 0;
}

void Ttp74x1::SetMaterial(int gost) {
    m_material = (gost >= 2 && gost <= 6) ? static_cast<std::uint8_t>(gost - 1) : 0;
    computeSlopes();
}

void Ttp74x1::computeSlopes() {
    const auto r = tableOf(m_material).r;
    const std::size_t n = r.size() - 1;
    m_slopes.fill(0);
    for (std::size_t i = 0; i < n; ++i) m_slopes[i] = 10 / (r[i + 1] - r[i]);
    m_slopes[n] = m_slopes[n - 1];
}

double Ttp74x1::RtoT(double r) const {
    const RtdTable& table = tableOf(m_material);
    const auto R = table.r;
    const std::size_t n = R.size() - 1;
    const double lo = table.edgeSegmentsAccepted ? R[0] : R[1];
    const double hi = table.edgeSegmentsAccepted ? R[n] : R[n - 1];
    if (r < lo) return kTempBelowRange;
    if (r > hi) return kTempAboveRange;
    std::size_t i = 0;
    while (i < n - 1 && r > R[i + 1]) ++i;
    return (r - R[i]) * m_slopes[i] + (table.t0 + 10.0 * static_cast<double>(i));
}

double Ttp74x1::Measure() {
    if (!Present() || Port() == 0) return kTempNotPolled;
    Ttp6606* link = LinkObject();
    if (link == nullptr || !link->IsOpen()) return m_tx;
    link->SetLine(Line());
    link->SetAddr(Addr());
    if (ReadTriple(Line(), Addr()) != 0) {
        SetError(kErrExchange);
        return m_tx;
    }
    SetError(kErrOk);
    m_valA = RawA();
    m_valB = RawB();
    m_valC = RawC24();
    m_rx = m_valA != 0 ? m_rRef / m_valA * m_valB : 100.0;
    m_tx = RtoT(m_rx);
    m_ret100 = m_valB != 0 ? 100 / m_valB * m_valA : 0;
    return m_tx;
}

double Ttp74x1::MeasureGroup() {
    if (!Present() || Port() == 0) return kTempBelowRange;
    Ttp6606* link = LinkObject();
    if (link == nullptr || !link->IsOpen()) return m_chanT[0];
    link->SetLine(Line());
    link->SetAddr(Addr());
    if (ReadGroup(Line(), Addr()) != 0) {
        m_chanVal[0] = ChanCode(1);
        SetError(kErrExchange);
        return kTempBelowRange;
    }
    SetError(kErrOk);
    m_groupNo = Group();
    m_refVal = RefCode();
    for (int j = 1; j <= 8; ++j) m_chanVal[j - 1] = ChanCode(j);
    const bool knownGroup = m_groupNo >= 1 && m_groupNo <= 4;
    if (m_refVal != 0) {
        // Single precision, like the readings the stored corrections were taken from.
        const float k =
            knownGroup ? static_cast<float>(m_rRefGroup[m_groupNo - 1] / m_refVal) : 0.0f;
        for (int j = 0; j < 8; ++j) {
            m_chanR[j] = k * m_chanVal[j];
            if (knownGroup) m_chanR[j] -= m_chanOffset[(m_groupNo - 1) * 8 + j];
        }
    } else {
        m_chanR.fill(100.0);
    }
    for (int j = 0; j < 8; ++j) m_chanT[j] = RtoT(m_chanR[j]);
    m_ret100 = m_chanVal[0] != 0 ? 100 / m_chanVal[0] * m_refVal : 0;
    return m_chanT[0];
}

}  // namespace yukt
