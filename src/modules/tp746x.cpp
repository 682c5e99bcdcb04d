#include "modules/tp746x.h"

namespace yukt {

namespace {

// Tungsten-rhenium thermocouple EMF, µV, every 10 °C from 0 to 2500 °C.
constexpr int kEmfUv[251] = {
    0,     121,   246,   373,   504,   637,   772,   910,   1050,  1193,  1337,  1483,  1632,
    1781,  1933,  2086,  2240,  2396,  2553,  2712,  2871,  3032,  3193,  3355,  3518,  3682,
    3847,  4012,  4178,  4345,  4512,  4680,  4848,  5016,  5185,  5354,  5523,  5693,  5862,
    6032,  6203,  6373,  6543,  6714,  6884,  7055,  7225,  7396,  7567,  7737,  7908,  8078,
    8248,  8418,  8588,  8758,  8928,  9098,  9267,  9436,  9605,  9774,  9943,  10111, 10280,
    10448, 10615, 10783, 10950, 11117, 11283, 11450, 11616, 11782, 11947, 12112, 12277, 12442,
    12606, 12770, 12933, 13096, 13259, 13422, 13584, 13746, 13907, 14068, 14229, 14389, 14549,
    14708, 14867, 15026, 15184, 15342, 15500, 15657, 15813, 15970, 16125, 16281, 16436, 16590,
    16744, 16898, 17051, 17204, 17356, 17508, 17659, 17810, 17960, 18110, 18260, 18409, 18557,
    18705, 18853, 19000, 19146, 19292, 19438, 19583, 19728, 19872, 20015, 20158, 20301, 20443,
    20584, 20725, 20866, 21006, 21145, 21284, 21423, 21561, 21698, 21835, 21971, 22107, 22242,
    22377, 22511, 22645, 22778, 22911, 23043, 23175, 23306, 23436, 23566, 23696, 23825, 23953,
    24081, 24209, 24335, 24462, 24588, 24713, 24838, 24962, 25085, 25209, 25331, 25453, 25575,
    25696, 25816, 25936, 26056, 26175, 26293, 26411, 26528, 26645, 26761, 26877, 26992, 27107,
    27221, 27335, 27448, 27560, 27672, 27783, 27894, 28005, 28114, 28223, 28332, 28440, 28548,
    28655, 28761, 28867, 28972, 29077, 29181, 29284, 29387, 29490, 29591, 29693, 29793, 29893,
    29992, 30091, 30189, 30287, 30384, 30480, 30576, 30671, 30766, 30860, 30953, 31046, 31138,
    31229, 31320, 31410, 31500, 31589, 31677, 31765, 31852, 31938, 32024, 32110, 32194, 32279,
    32362, 32445, 32528, 32610, 32692, 32773, 32853, 32933, 33013, 33092, 33171, 33250, 33328,
    33406, 33483, 33561, 33638};

constexpr int kLastPoint = 250;  // E[250] is the EMF at 2500 °C
// Entries 251..255 close the table at 40 mV, above any reading.
constexpr double kTableEndMv = 40.0;

struct EmfTable {
    std::array<double, 256> mv{};
    EmfTable() {
        for (int k = 0; k <= kLastPoint; ++k) mv[k] = kEmfUv[k] / 1000.0;
        for (int k = kLastPoint + 1; k < 256; ++k) mv[k] = kTableEndMv;
    }
};

const EmfTable& emf() {
    static const EmfTable table;
    return table;
}

}  // namespace

Ttp746x::Ttp746x(ModuleContext& ctx) : Ttp74x1(ctx) {
    SetName("Модуль измерения температуры термопары (ЮКТ-746x)");
    SetRangeHigh(2500);
    SetRangeLow(0);
    SetMaterial(2);
    const auto& e = emf().mv;
    for (int c = 1; c <= kLastPoint; ++c) m_tcSlopes[c] = 10 / (e[c] - e[c - 1]);
    m_tcSlopes[0] = m_tcSlopes[1];
    for (int c = kLastPoint + 1; c < 256; ++c) m_tcSlopes[c] = m_tcSlopes[kLastPoint];
}

void Ttp746x::SetURef(double x) {
    if (x > 0 && x < 5000) m_uRef = x;
}

double Ttp746x::TC(double e, double tcj) const {
    const auto& E = emf().mv;
    // Linear cold-junction compensation with the EMF at 20 °C.
    const double ec = e + E[2] / 20 * tcj;
    if (ec < E[0]) return RangeLow() - 1;
    if (ec > E[255]) return RangeHigh() + 1;
    // Segment c with E[c-1] < ec <= E[c]; readings past 2500 °C extrapolate
    // the last segment.
    int c = 1;
    while (c < kLastPoint && ec > E[c]) ++c;
    return 10.0 * (c - 1) + (ec - E[c - 1]) * m_tcSlopes[c];
}

double Ttp746x::MeasureTc() {
    if (!Present()) return kTempNotPolled;
    m_ux = UxOf(ValC(), m_uRef);
    m_tx0 = TC(m_ux, 0);
    m_tx20 = TC(m_ux, Tx());
    return m_tx20;
}

bool Tp746xTraits::ReadColumns(CfgReader& in, Columns& c) {
    return in.ReadReal(c.RRef) && in.ReadInt(c.Gost) && in.ReadReal(c.URef);
}

void Tp746xTraits::ApplyColumns(Driver& d, const Columns& c) {
    d.SetRRef(c.RRef);
    d.SetMaterial(c.Gost);
    d.SetURef(c.URef);
}

std::string Tp746xTraits::ResultLine(Driver& d, Route route) {
    const double tx = d.Measure();
    d.MeasureTc();
    const std::string n = std::to_string(d.Number());
    if (d.Error() == kErrExchange)
        return route == Route::Reply ? "746x " + n + " Err 5" : " 746x     " + n + "  Err 5";
    const std::string t = Field73(tx), r = Field73(d.Rx()), r100 = Field73(d.Ret100()),
                      u = Field73(d.Ux()), t0 = Field73(d.Tx0()), t20 = Field73(d.Tx20());
    switch (route) {
        case Route::Dat:
            return " 746x     " + n + "  " + t + " " + r + "    " + r100 + "  " + u + "  " + t0 +
                   "  " + t20;
        case Route::Console:
            return " 746x     " + n + "   " + t + " " + r + " " + r100 + " " + u + " " + t0 + " " +
                   t20;
        case Route::Reply:
            return "746x " + n + " " + t + " " + r + " " + r100 + " " + u + " " + t0 + " " + t20;
        case Route::Link:
            break;
    }
    return " 746x     " + n + "  " + t + " " + r + "   " + r100 + "  " + u + "  " + t0 + " " + t20;
}

std::string Tp746xTraits::AbsentLine(const Driver& d, Route route) {
    const std::string n = std::to_string(d.Number());
    switch (route) {
        case Route::Reply:
            return "746x " + n + " Err 4";
        case Route::Console:
            return " 746x     " + n + "   Err 4";
        case Route::Dat:
        case Route::Link:
            break;
    }
    return " 746x     " + n + "  Err 4";
}

}  // namespace yukt
