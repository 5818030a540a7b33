#pragma once

#include "kvsupport/containers/YVector.h"
#include "kvsupport/strings/YString.h"

/// Conversions between the library's UTF-8 text, the local 8-bit encoding
/// and explicit code pages.
///
/// The local encoding is the codec of the system locale unless
/// sp_SetLocaleEncoding chose another. Explicit code pages use the numbers of
/// the suite's file formats: 0 (and 1, 3) the local encoding, 65001 UTF-8,
/// 1250 to 1258 the Windows single-byte pages, 932 Shift_JIS, 936 GBK, 949,
/// 950 Big5, 874, the DOS pages (437, 850, ...), the ISO 8859 pages
/// (28591 ...), KOI8 (20866, 21866), EUC (51932, 51949), GB18030 (54936) and
/// the Mac pages (10000, ...). An unknown page counts as the local encoding.
///
/// Conversions never fail visibly: text that does not convert yields the
/// codec's replacement characters. Changing the local encoding while other
/// threads convert is allowed; they see either codec.

/// `text` unchanged when it is well-formed UTF-8 (a sequence cut off at the
/// end counts as malformed); otherwise `text` read in the local encoding,
/// as UTF-8.
YString sp_AutoConvertToUtf8(const YString &text);
YString sp_AutoConvertToUtf8(const char *text);
/// Local 8-bit text (null counts as empty) as UTF-8.
YString sp_ConvertFromLocal(const char *text);
/// UTF-8 text (null counts as empty) in the local 8-bit encoding.
YString sp_ConvertFromUtf8(const char *text);
/// Converts `count` bytes in code page `codePage` to UTF-8 and stores exactly
/// the resulting bytes in `out` (no terminator; a NUL among the input bytes
/// is kept). Nothing to convert (null bytes, count < 1) leaves `out` empty;
/// a null `out` does nothing.
void sp_ConvertMBCSBlock_to_UTF8(const char *bytes, int count, YVector<char> *out, int codePage);
/// The same from the local encoding.
void sp_ConvertMBCSBlock_to_UTF8(const char *bytes, int count, YVector<char> *out);
/// NUL-terminated UTF-8 text (null counts as empty) in code page `codePage`.
YString sp_ConvertUTF8_to_MBCS(const char *text, int codePage);
/// Makes the codec called `name` the local encoding and returns true; false,
/// with nothing changed, when no codec has that name. "default" (in any
/// letter case) returns to the system locale's codec.
bool sp_SetLocaleEncoding(const YString &name);
