#include "tools/common/version.h"

const char* const kProjectVersion = PROJECT_VERSION_TEXT;
