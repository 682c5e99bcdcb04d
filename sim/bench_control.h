#pragma once
// The operator's commands to a running bench, shared by the command line of
// yukt-bench ("--switch verify") and its control file ("switch verify"):
//
//   switch replace|verify     the mode switch ("Режим замены модуля" / "Режим поверки")
//   module MODEL|none         plugs a fresh module under test (FLASH address 3)
//   second MODEL|none         the second module of a composite device (address 7)
//   address N                 FLASH address of the module under test
//   param N VALUE             FLASH parameter N (1..5) of the module under test
//   coef N VALUE              FLASH coefficient N (1..2) of the module under test
//   ident TEXT                identification text of the module under test
//   meter on|off              the calibrator's meter at address 4
//   current-error MA          error added to every measured current
//   current MA                the calibrator generator's current, until it is set again
//   rtd OHM                   resistance at the RTD inputs
//   fault KIND [ADDRESS]      silence, refuse, badsum, noise, torn, zero, disappear
//   fault flash-lag           FLASH read-back of the module under test lags one read
//   fault power-cut N         its power fails as its N-th FLASH write from now is stored
//   power on|off              its power (on: it starts again with its FLASH)
//   fault clear               ends every fault, powers every module up
//   unplug                    takes the module under test out
//
// "param N=VALUE" and "coef N=VALUE" are accepted too. FLASH changes are made
// as on a module taken out of the bench: it restarts with them.

#include <string>
#include <vector>

#include "sim/bench.h"

namespace yukt::sim {

// FLASH address a freshly plugged module under test has.
inline constexpr int kDefaultUnderTestAddress = 3;

// Applies one command; returns an error text, empty on success.
std::string applyBenchCommand(Bench& bench, const std::vector<std::string>& words);

// Splits a control-file line into words; blank lines and lines starting with
// "#" give no words.
std::vector<std::string> splitCommandLine(const std::string& line);

// A human-readable summary of the bench for the operator.
std::string describeBench(const Bench& bench);

}  // namespace yukt::sim
