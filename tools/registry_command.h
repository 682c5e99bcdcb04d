// yukt-records registry: the round trip with the registry.
//   registry import FILE.json…            answers saved from the registry's search
//   registry fetch [--from D] [--to D] [--url BASE] [--timeout S]
//   registry pending [--days N] [--json]  what still needs the operator
//   registry refuse --record N --reason TEXT [--author NAME]
// each with [--db URL] [--workdir DIR].
// Exit status: 0 done, 3 items left unmatched or ambiguous (each listed),
// 1 a file, database or network failure (what was stored before stays),
// 2 wrong arguments.
#pragma once

namespace yukt::records {

// Parses its own arguments (argv[1] is "registry").
int RegistryCommand(int argc, char* argv[]);

}  // namespace yukt::records
