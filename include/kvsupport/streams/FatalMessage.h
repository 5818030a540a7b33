#pragma once

/// Shows `text` in a modal message box titled "Fatal" with the critical icon
/// and the application's icon. Without a widget application (a console
/// program) the text goes to standard error as "Fatal Error : <text>".
/// Call on the GUI thread.
void sp_FatalMessage(const char *text);

/// For threads other than the GUI thread: posts the text to a receiver on
/// the GUI thread, which shows it with sp_FatalMessage when the GUI thread's
/// event loop runs. Returns at once.
void sp_ThreadFatalMessage(const char *text);
