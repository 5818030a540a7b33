#include "kvsupport/support/Version.h"

const char *sp_GetLibraryVersion() { return KV_VERSION_STRING; }
