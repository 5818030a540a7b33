#pragma once

#include "kvsupport/strings/YString.h"

/// The open mode asked about: 0 reading; 3 writing a new file, which must
/// not exist yet; 4 writing a file that may exist (appending); 5 writing.
/// Other values are tested as reading, and have no diagnosis.
typedef int GfnOpenMode;

/// Why a file does not open, as `sp_FileOpenForensic` finds it.
enum FileOpenForensic {
  FileOpenAlreadyExists = 0,   ///< a new file was asked for; one of that name exists
  FileOpenDoesNotExist = 1,    ///< reading: no such file
  FileOpenReadDenied = 2,      ///< reading: it exists but may not be read (or cannot be told)
  FileOpenReadInUse = 3,       ///< reading: it exists and may be read, but did not open
  FileOpenNoDirectory = 4,     ///< writing: its directory does not exist
  FileOpenDirectoryDenied = 5, ///< writing: the directory exists, the file does not
  FileOpenWriteDenied = 6,     ///< writing: it exists but may not be written
  FileOpenWriteInUse = 7,      ///< writing: it exists and may be written, but did not open
  FileOpenInternalError = 8    ///< the mode is not one of 0, 3 and 5
};

/// Whether the file at `path` (UTF-8) opens in `mode`, tried for real and
/// without a trace: nothing is truncated or written, and a file the test
/// had to create is deleted again (only that one). Mode 3 on an existing
/// file is false without opening anything. Modes 4 and 5 are also false for
/// an existing file whose lock file (`path` + ".lck") another process holds.
/// A directory never opens as a file; an empty path gives false.
bool sp_CheckFileOpen(const YString &path, GfnOpenMode mode);

/// Stores in `*reason` the likeliest reason why `path` does not open in
/// `mode`. Returns true, or false (nothing stored) for a null `reason`.
bool sp_FileOpenForensic(const YString &path, GfnOpenMode mode, FileOpenForensic *reason);

/// Stores in `*message` the sentence for the reason `sp_FileOpenForensic`
/// finds: "The file " + path + a phrase, or "Internal error". Returns what
/// `sp_FileOpenForensic` returns (false for a null `message`).
bool sp_FileOpenForensicMsg(const YString &path, GfnOpenMode mode, YString *message);
