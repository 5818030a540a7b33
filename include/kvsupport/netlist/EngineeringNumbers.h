#pragma once

#include "kvsupport/strings/YString.h"

class QString;

/// Reads one engineering number at the start of `text`: optional white space,
/// a decimal number (sign, digits, decimal point, exponent; no hexadecimal,
/// infinity or NaN forms), then an optional scale suffix: "meg" (1e6), "mil"
/// (2.54e-5), one of a f p n u m k g t in either case (m and M both mean
/// milli), or any other ASCII letter (scale 1). Up to 31 digits directly
/// after a suffix are a fraction (4k7 is 4.7 kilo, 1meg5 is 1.5 mega).
/// Scales are built by repeated multiplication, so 1k is 1000.0000000000002.
///
/// Returns 0.0 with *end at `text` when no number is found, and 0.0 with
/// *end just behind the digits when the number is zero (0k stops at the k).
/// Otherwise *end is behind the last character consumed; unit letters after a
/// suffix (the F of 10uF) are not consumed. `end` may be null. A null `text`
/// gives 0.0 and leaves *end untouched. The decimal part is read exactly as
/// the C library's strtod reads it in the "C" locale (correctly rounded).
double sp_ConvertEngToReal(const char *text, char **end);

/// The same for a Qt string, read through its UTF-8 encoding. The end position
/// points into a temporary copy that is gone when the call returns: pass null.
double sp_ConvertEngToReal(const QString &text, char **end);

/// Reads a number at *cursor with sp_ConvertEngToReal and skips the ASCII
/// letters and underscores that directly follow it (a unit name: 10uF, 3.3V,
/// 10k_ohm), leaving *cursor behind them and *failed false. When nothing can
/// be read, *failed becomes true, the result is 0.0 and *cursor stays.
/// `failed` may be null; a null cursor counts as nothing read.
double sp_GetEngToken(char **cursor, bool *failed);

/// Engineering text for a fixed-width field of `width` characters: mantissa
/// and scale letter ("Meg" for mega, E<n> outside atto to tera), "%" or "ppm"
/// for small magnitudes when `percent` is set; magnitudes below 1e-300 show
/// as 0. Padded with blanks on the right, or with zeros after the mantissa's
/// decimal point when `zeroFill` is set (4700 at width 6 gives 4.700k).
/// Non-finite values give "INF". Widths above 4096 count as 4096.
YString sp_FormatEng(double value, int width, bool percent, bool zeroFill);

/// Plain "%g" text fitted to `width` characters by lowering the precision
/// (down to one significant digit), padded with blanks to `width`. With
/// `percent` the value is shown times 100 followed by "%". Text that cannot
/// be made short enough is returned whole. Widths above 4096 count as 4096.
YString sp_FormatReal(double value, int width, bool percent);

/// Compact engineering text as written into netlists, unpadded: 4700 gives
/// 4.7k, 1e6 gives 1Meg, 1e16 gives 10E15 at precision 6. `precision` is the
/// number of significant digits (raised to the mantissa's integer digits when
/// below 3). With `exponentOnly` the scale is always written as E<n>
/// (4.7E3). Non-finite values give "INF", zero gives "0".
YString sp_ConvertRealToJSEng(double value, int precision, bool exponentOnly);

/// The simulator time-precision text ("1fs" ... "100s") whose decade holds
/// `resolution`; an empty string outside 9.999e-16 (exclusive) to 100.1.
YString sp_GetVlPrecStringFromResolution(double resolution);
