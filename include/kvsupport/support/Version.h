#pragma once

/// The library's version, "major.minor.patch".
const char *sp_GetLibraryVersion();
