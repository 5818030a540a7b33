// Readers and result setters of the user-function interface. A string
// argument's elements are text pointers, a real argument's are doubles:
// reading one as the other would follow a double as a pointer, so every
// reader checks the type it can read and every index and pointer it is
// given.
#include "kvsupport/hooks/UserFunctionInterface.h"

#include "kvsupport/strings/YString.h"

#include <algorithm>
#include <cstring>

namespace {

const UserFunctionArgument *argument(const UserFunctionInterface *record, int index) {
  if (!record || index < 0)
    return nullptr;
  const int count = std::min<int>(record->numArguments, UserFunctionInterface::kMaxArguments);
  if (index >= count)
    return nullptr;
  const UserFunctionArgument *found = &record->arguments[index];
  return found->elements && found->count > 0 ? found : nullptr;
}

const UserFunctionArgument *realArgument(const UserFunctionInterface *record, int index) {
  const UserFunctionArgument *found = argument(record, index);
  return found && found->type != UserFunctionString ? found : nullptr;
}

const UserFunctionArgument *stringArgument(const UserFunctionInterface *record, int index) {
  const UserFunctionArgument *found = argument(record, index);
  return found && found->type == UserFunctionString ? found : nullptr;
}

// How many elements of `size` bytes fit into `sizeBytes`, at most `count`.
unsigned int fitting(int sizeBytes, size_t size, uint32_t count) {
  if (sizeBytes <= 0)
    return 0;
  return static_cast<unsigned int>(std::min<size_t>(static_cast<size_t>(sizeBytes) / size, count));
}

} // namespace

bool sp_GetScalarReal(const UserFunctionInterface *record, int index, double *value) {
  const UserFunctionArgument *found = realArgument(record, index);
  if (!found || !value)
    return false;
  *value = static_cast<const double *>(found->elements)[0];
  return true;
}

bool sp_GetScalarString(const UserFunctionInterface *record, int index, YString *value) {
  const UserFunctionArgument *found = stringArgument(record, index);
  if (!found || !value)
    return false;
  const char *text = static_cast<char *const *>(found->elements)[0];
  if (!text)
    return false;
  *value = text;
  return true;
}

void sp_GetRealIfVector(const UserFunctionInterface *record, int index, const double **elements,
                        unsigned int *count) {
  const UserFunctionArgument *found = argument(record, index);
  const bool real = found && found->type == UserFunctionReal;
  if (elements)
    *elements = real ? static_cast<const double *>(found->elements) : nullptr;
  if (count)
    *count = real ? found->count : 0;
}

void sp_GetStringIfVector(const UserFunctionInterface *record, int index, char *const **elements,
                          unsigned int *count) {
  const UserFunctionArgument *found = stringArgument(record, index);
  if (elements)
    *elements = found ? static_cast<char *const *>(found->elements) : nullptr;
  if (count)
    *count = found ? found->count : 0;
}

int sp_GetRealIfData(const UserFunctionInterface *record, int index, double *destination,
                     int capacity) {
  const UserFunctionArgument *found = realArgument(record, index);
  if (!found || !destination || capacity <= 0)
    return 0;
  const unsigned int copied =
      std::min<unsigned int>(static_cast<unsigned int>(capacity), found->count);
  std::memcpy(destination, found->elements, copied * sizeof(double));
  return static_cast<int>(copied);
}

void sp_CopyRealIfData(const UserFunctionInterface *record, int index, double *destination,
                       int sizeBytes) {
  const UserFunctionArgument *found = realArgument(record, index);
  if (found && destination)
    std::memcpy(destination, found->elements,
                fitting(sizeBytes, sizeof(double), found->count) * sizeof(double));
}

void sp_CopyStringIfData(const UserFunctionInterface *record, int index, char **destination,
                         int sizeBytes) {
  const UserFunctionArgument *found = stringArgument(record, index);
  if (found && destination)
    std::memcpy(destination, found->elements,
                fitting(sizeBytes, sizeof(char *), found->count) * sizeof(char *));
}

bool sp_SetScalarReal(UserFunctionInterface *record, double value) {
  if (!record || !record->makeRealResult)
    return false;
  double *room = record->makeRealResult(record, 1, 0);
  if (!room)
    return false;
  room[0] = value;
  return true;
}

bool sp_SetScalarString(UserFunctionInterface *record, const YString &value) {
  // The copy is made first, so that a failure leaves no result with an
  // unset element behind.
  char *copy = sp_CopyJs(record, value);
  if (!copy || !record->makeStringResult)
    return false;
  char **room = record->makeStringResult(record, 1);
  if (!room)
    return false;
  room[0] = copy;
  return true;
}

char **sp_MakeStringResult(UserFunctionInterface *record, unsigned int count) {
  if (!record || !record->makeStringResult)
    return nullptr;
  return record->makeStringResult(record, count);
}

char *sp_CopyJs(UserFunctionInterface *record, const YString &text) {
  if (!record || !record->copyText)
    return nullptr;
  return record->copyText(text.tocs());
}
