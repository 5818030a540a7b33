// Internal header, not API: the ranks of the library's own release functions
// under the hook "Exit".
//
// Static objects of different source files are constructed in an order the
// language leaves open, so the order of the library's "Exit" functions cannot
// come from the order of their registrations. Each subsystem registers its
// release function in its own file with the rank named here:
//
//   void closeThingAtExit(void *) { closeThing(); }
//   const AutoFunc closeThingAtExitRegistration("Exit", closeThingAtExit, "closeThing",
//                                               kv::detail::ExitRank::CloseThing);
//
// Ranked functions run after every function registered without a rank (the
// host's), higher ranks first: closeEmbeddedFiles first and closeAutoFunc,
// which releases the registry, last.
#pragma once

#include "kvsupport/hooks/AutoFunc.h"

namespace kv::detail {

/// In the order of registration, which is the reverse of the order of running.
enum class ExitRank : int {
  CloseAutoFunc = 1,      ///< the hook registry itself (hooks)
  CloseInifile,           ///< the profile file cache (files)
  DelLibs,                ///< dynamically loaded libraries (hooks)
  CloseLibraryManager,    ///< the model library manager (config)
  CloseLogicalPaths,      ///< logical-path and symbol caches (config)
  CloseOptions,           ///< program path table and option table (config)
  FlushSharedBlockLookup, ///< shared-block look-up cache (ipc)
  DeleteTimers,           ///< interval timers (threads)
  CloseWordArray,         ///< word-array scratch storage (netlist)
  CloseEmbeddedFiles,     ///< temporary copies of embedded files (files)
};

} // namespace kv::detail
