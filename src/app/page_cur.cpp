// The page of the current and resistance channels ("PAllCur"): its operator
// handlers and the display of a reply. The page logic is built on these
// members; until then the page shows what the sequence puts on it.

#include "app/main_form.h"

namespace yukt {

void TMainForm::ConnectPageCur() {}

void TMainForm::ShowReplyCur() {}

}  // namespace yukt
