#include "../Lists.h"

namespace host {

// Names are bytes here, taken as they are, UTF-8 or not.
void LegacyListToUtf8(std::string&) {}

}  // namespace host
