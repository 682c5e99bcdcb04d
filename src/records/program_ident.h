// The identification of the running program, printed on every protocol:
// its name, version and the SHA-256 checksum of its own executable file.
#pragma once

#include "records/record.h"

namespace yukt::records {

ProgramIdent RunningProgram();
QString FileSha256(const QString& path);  // hex; empty when unreadable

}  // namespace yukt::records
