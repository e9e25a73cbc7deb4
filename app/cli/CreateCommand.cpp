// kuvzip-cli create (being built).
#include "CliCommon.h"

namespace kuvcli {
std::vector<Command> CreateCommands() { return {}; }
}  // namespace kuvcli
