#pragma once

#include "kvsupport/containers/YList.h"
#include "kvsupport/strings/YString.h"

/// Every CR LF pair becomes LF; lone CRs stay.
YString sp_ConvertDosToUnix(YString text);

/// Every LF not already preceded by CR becomes CR LF.
YString sp_ConvertUnixToDos(const YString &text);

/// Decimal text with a leading "-" for negative values, including the most
/// negative value ("-9223372036854775808").
YString sp_itoa64(long long value);

/// Reads optional white space, an optional sign and decimal digits; 0 when
/// there are none. Values beyond the 64-bit range saturate at its ends.
long long sp_atoi64(const char *text);

/// A hash that ignores ASCII case: for each character c (taken as a signed
/// char), h = ((upper(c) as 16 bits) XOR (h mod 65536)) * 2, starting from 0.
/// Results are even and below 2^17; 0 for an empty or null text.
unsigned int sp_HashValue(const char *text);

/// Stores in out[0], out[1], ... a malloc'ed copy of each text of `list`, in
/// order. The caller provides room for every element and frees the copies.
void sp_FillString(char **out, const YList<YString> *list);
