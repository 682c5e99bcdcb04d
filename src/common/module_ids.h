#pragma once
// Identity constants that the modules and the software must agree on: the
// hardware type codes of the identification texts, the designations shown to
// the operator, and the layout of the calibration values in module FLASH.
// The instrument library, the workstation and the simulated bench all include
// this one header, so a value changed here changes on both sides of the line.
//
// An identification text has 8 characters: 1-5 the hardware type code, 6 the
// variant, 7-8 the firmware version, e.g. "45T01A10" for a 745t.

#include <array>
#include <cstdint>
#include <string_view>

namespace yukt::ids {

// ---- Hardware type codes (characters 1-5 of the identification text) ----
// The codes read as the model digits after the series digit 7, the model
// letter, then a two-digit execution number; so the designation built from
// them ("ЮКТ - 745T.01A v10") names the model plainly.

inline constexpr std::string_view kType745t = "45T01";
inline constexpr std::string_view kType748t = "48T01";
inline constexpr std::string_view kType748x = "48X01";
// The discrete module comes in two executions; both identify as 765x.
inline constexpr std::string_view kType765x = "65X01";
inline constexpr std::string_view kType765x2 = "65X02";
inline constexpr std::string_view kType735x = "35X01";
inline constexpr std::string_view kType735t = "35T01";
inline constexpr std::string_view kType735d = "35D01";
// The two generators are identified by their first three characters only
// (their executions differ in characters 4-5); the calibrator search compares
// the full five characters of the 788t.
inline constexpr std::string_view kType787x = "87X01";
inline constexpr std::string_view kPrefix787x = "87X";
inline constexpr std::string_view kType788t = "88T01";
inline constexpr std::string_view kPrefix788t = "88T";

// Models that the identification table does not recognise still answer with
// their own codes. None of them begins with "87X" or "88T".
inline constexpr std::string_view kType745x = "45X01";
inline constexpr std::string_view kType745b = "45B01";
inline constexpr std::string_view kType746x = "46X01";
inline constexpr std::string_view kType747x = "47X01";
inline constexpr std::string_view kType795b = "95B01";
inline constexpr std::string_view kType735r = "35R01";
inline constexpr std::string_view kType735v = "35V01";
inline constexpr std::string_view kType787d = "87D01";
inline constexpr std::string_view kType788x = "88X01";
inline constexpr std::string_view kType788v = "88V01";

struct ModelType {
    std::string_view model;  // model code, "745t"
    std::string_view type;   // hardware type code, characters 1-5
};

// Every model of the line with its type code, in the system's model order.
inline constexpr std::array<ModelType, 19> kModelTypes = {{
    {"745x", kType745x}, {"745t", kType745t}, {"745b", kType745b}, {"746x", kType746x},
    {"747x", kType747x}, {"748x", kType748x}, {"748t", kType748t}, {"765x", kType765x},
    {"795b", kType795b}, {"735x", kType735x}, {"735t", kType735t}, {"735r", kType735r},
    {"735d", kType735d}, {"735v", kType735v}, {"787x", kType787x}, {"787d", kType787d},
    {"788x", kType788x}, {"788t", kType788t}, {"788v", kType788v},
}};

// Variant character and firmware version a module reports unless told
// otherwise (characters 6 and 7-8).
inline constexpr char kDefaultVariant = 'A';
inline constexpr std::string_view kDefaultVersion = "10";

// ---- Designations ----
// Brand, " - " and the series digit; the type code characters follow.
inline constexpr std::string_view kDesignationPrefix = "ЮКТ - 7";
// Devices made of two modules (address 0 and address 7).
inline constexpr std::string_view kDesignation745t745t = "ЮКТ - 7455.01";
inline constexpr std::string_view kDesignation745t748x = "ЮКТ - 7458.01";
inline constexpr std::string_view kDesignation748x748x = "ЮКТ - 7488.01";

// ---- Module FLASH ----
inline constexpr int kFlashSize = 4096;  // cells 0..4095, one byte each

// The module address, kept three times so that a torn write is noticed.
inline constexpr std::array<int, 3> kAddressCells = {0, 16, 32};

// Parameters 1..5, ten characters each, in three copies: parameter n of copy
// c starts at kParamCopyBase[c - 1] + 10 * n.
inline constexpr int kParamCount = 5;
inline constexpr int kParamLength = 10;
inline constexpr std::array<int, 3> kParamCopyBase = {246, 316, 386};

// Coefficients 1..2, four bytes each, in three copies: coefficient n of copy
// c starts at kCoefCopyBase[c - 1] + 4 * n.
inline constexpr int kCoefCount = 2;
inline constexpr int kCoefLength = 4;
inline constexpr std::array<int, 3> kCoefCopyBase = {462, 470, 478};

// Every stored byte is XORed with the mask of its copy, so an erased (0xFF)
// or zeroed cell never reads as a plausible value. M1..M3 for parameters,
// N1..N3 for coefficients; all six differ.
inline constexpr std::array<std::uint8_t, 3> kMaskM = {0x5A, 0xA5, 0x3C};  // M1, M2, M3
inline constexpr std::array<std::uint8_t, 3> kMaskN = {0xC3, 0x69, 0x96};  // N1, N2, N3

// First cell of parameter n (1..5) in copy c (1..3).
constexpr int paramCell(int copy, int n) { return kParamCopyBase[copy - 1] + kParamLength * n; }
// First cell of coefficient n (1..2) in copy c (1..3).
constexpr int coefCell(int copy, int n) { return kCoefCopyBase[copy - 1] + kCoefLength * n; }

// FLASH requests travel as identification frames (command 7) with data: a
// read carries 2 bytes, kFlashReadTag + cell / 256 and cell % 256; a write 3
// bytes, cell / 256, cell % 256, value.
inline constexpr int kIdentCommand = 7;
inline constexpr int kResetCommand = 0;
inline constexpr std::uint8_t kFlashReadTag = 0x10;

}  // namespace yukt::ids
