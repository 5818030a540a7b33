// Internal header, not API: the release of the system path symbol caches
// and a test seam for the start-up profile.
#pragma once

namespace kv::support {

/// Empties both symbol caches; the next use computes every value afresh
/// and reads the start-up profile again.
void clearSystemPathSymbolCaches();

/// When not null, the start-up profile read instead of
/// "%EXEPATH%/startup.ini" (tests cannot write beside the executable).
extern const char *startupProfileForTests;

} // namespace kv::support
