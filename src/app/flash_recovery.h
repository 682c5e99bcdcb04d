#pragma once
// What the workstation does with the FLASH journal of a module: reaching the
// module directly, putting back what the journal says was changed (every
// write read back), and at start the offer to restore a module an earlier
// run left prepared. The journal is dropped only after a restore that was read
// back, or when the operator confirms what the module keeps without it.

#include <QString>
#include <string>

#include "app/flash_journal.h"

namespace yukt {

class OperatorDialogs;
class TcPrbr;

// Opens direct access to the module answering at `moduleAddr` (0: whichever
// is on the exchange bus) through the calibrator on COM `port`.
bool OpenDirectAt(TcPrbr& direct, int moduleAddr, int port);
// "Канал не открыт!?" and, on its own line, what the port layer knows.
QString ChannelNotOpenText(const TcPrbr& direct);

// What the restore writes into a divider coefficient it had replaced.
inline constexpr double kCoefNotSet = -0.5;

enum class RestoreOutcome { Restored, WriteFailed };
// Puts back what the journal says was changed in the FLASH of the module on
// the open channel.
RestoreOutcome RestoreFlash(TcPrbr& direct, const FlashJournal& journal);

// The journal of one module while another one (`found`) answers.
QString OtherModuleText(const FlashJournal& journal, const std::string& found);
// What a module keeps should its journal be dropped.
QString JournalLossText(const FlashJournal& journal);
// No module answers where the restore expects it.
QString ModuleNotFoundAtEndText();

// At start: a journal left by an earlier run is offered for restore (the
// module on the exchange bus, the switch at "Режим замены модуля"); an
// unreadable journal is reported and left for a person to look at.
void OfferJournalRestore(const std::string& dir, int calibratorPort, OperatorDialogs& dialogs);

}  // namespace yukt
