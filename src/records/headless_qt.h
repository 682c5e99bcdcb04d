// What a tool does before it makes its Qt application object without a
// screen: the offscreen platform for the protocol's fonts, and a runtime
// directory of its own when the session gives none, so that Qt has nothing
// to warn about on stderr.
#pragma once

namespace yukt::records {

// Sets QT_QPA_PLATFORM=offscreen unless given, and XDG_RUNTIME_DIR to a
// 0700 directory of this user under /tmp when unset. A link there, or a
// directory another user owns, is not used (Qt then warns as usual).
void PrepareHeadlessQt();

}  // namespace yukt::records
