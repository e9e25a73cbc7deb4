#include "ui/DialogPort.h"

namespace kuv {

std::string DialogText;
int DialogMode = 0;

}  // namespace kuv
