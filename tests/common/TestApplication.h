// Test support: which Qt application object the test binary runs with.
#pragma once

namespace kvtest {

/// Asks for a widget application (QApplication) instead of a core one. Call
/// from a static initialiser of the test file that needs widgets; returns true.
bool requestWidgetApplication();

/// Whether a widget application was asked for.
bool widgetApplicationRequested();

} // namespace kvtest
