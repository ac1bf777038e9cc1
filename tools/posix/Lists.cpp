#include "../Lists.h"

namespace host {

// Names are bytes here: a name that is not UTF-8 is refused as it is given.
void LegacyListToUtf8(std::string&) {}

}  // namespace host
