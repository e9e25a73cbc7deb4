// kuvzip-cli list, comment, extract, test, add, remove (being built).
#include "CliCommon.h"

namespace kuvcli {
std::vector<Command> ReadingCommands() { return {}; }
}  // namespace kuvcli
