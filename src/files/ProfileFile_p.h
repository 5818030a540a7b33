// Internal header, not API: the release of the profile cache and a hook
// for tests of interrupted writes.
#pragma once

namespace kv::files {

/// Releases the profile cache: tries once to write what is pending (each
/// file's mutex waited for as by a change), warns through the default
/// message handler of every file left unwritten, then frees everything.
/// The next profile operation starts with an empty cache. Returns the
/// number of files left unwritten.
int closeInifile();

/// When set, called by a writer holding the file's mutex after the new
/// text is durable in its temporary and before the rename, with the
/// temporary's path. Tests stop a writer there.
extern void (*profileBeforeRenameHook)(const char *temporaryPath);

} // namespace kv::files
