// The page of the frequency, interval and count channels ("PAll735"): its
// operator handlers and the display of a reply. The page logic is built on
// these members; until then the page shows what the sequence puts on it.

#include "app/main_form.h"

namespace yukt {

void TMainForm::ConnectPage735() {}

void TMainForm::ShowReply735() {}

}  // namespace yukt
