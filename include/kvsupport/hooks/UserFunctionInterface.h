#pragma once

#include <cstdint>

class YString;

/// The kinds of argument these functions read; the script engine has others.
enum UserFunctionArgumentType {
  UserFunctionReal = 0,  ///< elements are doubles
  UserFunctionString = 2 ///< elements are C texts (char*)
};

/// One argument of a user-defined script function, as the script engine
/// fills it.
struct UserFunctionArgument {
  void *elements;   ///< double* or char**, by type
  uint32_t count;   ///< number of elements
  int32_t type;     ///< a UserFunctionArgumentType, or another type
  void *engineData; ///< the script engine's own
};

/// The record through which a function that a plug-in adds to the script
/// language receives its arguments and delivers its result. The script
/// engine fills it; plug-ins use the functions below rather than its layout.
struct UserFunctionInterface {
  static constexpr int kMaxArguments = 32;

  UserFunctionArgument arguments[kMaxArguments];
  void *engineContext; ///< the script engine's own
  int32_t numArguments;
  /// Room for the string result of `count` text pointers; null on failure.
  char **(*makeStringResult)(UserFunctionInterface *record, unsigned int count);
  /// Room for the real result of `count` doubles (`flags` is 0); null on failure.
  double *(*makeRealResult)(UserFunctionInterface *record, unsigned int count, int flags);
  void *engineFunctions[2]; ///< the script engine's own
  /// A copy of `text` owned by the script engine; null on failure.
  char *(*copyText)(const char *text);
};

// Readers. Argument `index` is read when 0 <= index < the number of
// arguments (at most 32). A null record or out-parameter, an index out of
// range, an argument without elements and a destination with room for no
// element read nothing. String readers read only string arguments; real
// readers read every other type but strings.

/// The first element of a real argument into `*value`; false when there is
/// none.
bool sp_GetScalarReal(const UserFunctionInterface *record, int index, double *value);

/// The first text of a string argument into `*value`; false when there is
/// none (or it is null).
bool sp_GetScalarString(const UserFunctionInterface *record, int index, YString *value);

/// The elements and their count of a real argument (type UserFunctionReal);
/// null and 0 otherwise.
void sp_GetRealIfVector(const UserFunctionInterface *record, int index, const double **elements,
                        unsigned int *count);

/// The texts and their count of a string argument; null and 0 otherwise.
void sp_GetStringIfVector(const UserFunctionInterface *record, int index, char *const **elements,
                          unsigned int *count);

/// Copies min(`capacity`, element count) doubles of a real argument to
/// `destination`; the number copied, 0 when nothing was.
int sp_GetRealIfData(const UserFunctionInterface *record, int index, double *destination,
                     int capacity);

/// Copies as many doubles of a real argument as `sizeBytes` holds (and the
/// argument has) to `destination`.
void sp_CopyRealIfData(const UserFunctionInterface *record, int index, double *destination,
                       int sizeBytes);

/// Copies as many text pointers of a string argument as `sizeBytes` holds
/// (and the argument has) to `destination`; the texts stay the engine's.
void sp_CopyStringIfData(const UserFunctionInterface *record, int index, char **destination,
                         int sizeBytes);

// Results. Each fails (false or null) when the record is null, the engine
// did not supply the function it needs, or that function gave no room.

/// Sets the result to the one real `value`.
bool sp_SetScalarReal(UserFunctionInterface *record, double value);

/// Sets the result to the one text `value`, copied by the engine.
bool sp_SetScalarString(UserFunctionInterface *record, const YString &value);

/// The engine's string result of `count` elements, to be filled with texts
/// from sp_CopyJs.
char **sp_MakeStringResult(UserFunctionInterface *record, unsigned int count);

/// The engine's copy of `text`.
char *sp_CopyJs(UserFunctionInterface *record, const YString &text);
