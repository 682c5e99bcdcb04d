#pragma once
// While a module's FLASH holds the verification address (and, for a 735t,
// stand-in divider coefficients), what it held before is also kept in a small
// file in the working directory. Should the program die before the FLASH is
// put back, the next start finds the file and offers to restore the module.
// The file names the module it was written for, so that it is put back only
// into that module.

#include <string>

namespace yukt {

struct FlashJournal {
    int CalibratorPort = 0;
    // Address read from FLASH at detection.
    int SavedAddress = -1;
    // True when the verification address 6 was written over SavedAddress.
    bool AddressChanged = false;
    // Coefficients 1 and 2 that were below 2 and were replaced by 2; they are
    // marked "not set" again on restore.
    bool CoefReplaced[2] = {false, false};
    // The coefficients as read at detection (735t only; 0 otherwise).
    double Coef[2] = {0, 0};
    std::string Designation;
    // The module's identification text as read at detection.
    std::string Ident;

    bool AnythingChanged() const { return AddressChanged || CoefReplaced[0] || CoefReplaced[1]; }
    // The module that answered with `ident` (designated `designation` by
    // itself) is the one this journal was written for. A journal of an
    // earlier version without the text trusts the designation alone.
    bool IsFor(const std::string& ident, const std::string& designation) const;
};

// File name inside the working directory.
extern const char* const kFlashJournalName;

bool WriteFlashJournal(const std::string& dir, const FlashJournal& journal);
// False when there is no journal or it cannot be read as one. `why`, when
// given, gets the reason a journal that exists could not be read (not a
// regular file, no access, damaged), with the file's name; empty otherwise.
bool ReadFlashJournal(const std::string& dir, FlashJournal& journal, std::string* why = nullptr);
void DeleteFlashJournal(const std::string& dir);

}  // namespace yukt
