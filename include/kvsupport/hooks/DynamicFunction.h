#pragma once

class YString;

/// A function the host offers to the library under a name. The host keeps
/// the object alive for as long as the function may be asked for (usually a
/// static object, for the life of the process). Registrations and look-ups
/// may come from any thread.
class MakeDynamicFunction {
public:
  /// The longest name kept; longer names are cut to their first 31 bytes.
  static constexpr int kMaxNameLength = 31;

  /// Registers `function` under `name` (null counts as empty). A later
  /// registration under the same name hides an earlier one.
  MakeDynamicFunction(void *function, const char *name);
  /// Registers a function pointer of any signature; the caller of
  /// support_GetDynamicFunction casts it back to the same signature.
  template <class Result, class... Args>
  MakeDynamicFunction(Result (*function)(Args...), const char *name)
      : MakeDynamicFunction(reinterpret_cast<void *>(function), name) {}
  /// Removes every registration under this object's name, including those
  /// made by other objects with the same name.
  ~MakeDynamicFunction();
  MakeDynamicFunction(const MakeDynamicFunction &) = delete;
  /// Copies the name and the function; registers nothing.
  MakeDynamicFunction &operator=(const MakeDynamicFunction &other);

  const char *getName() const { return name_; }
  void *getFunction() const { return function_; }

private:
  char name_[kMaxNameLength + 1];
  void *function_;
};

/// The function most recently registered under `name` (compared byte for
/// byte, with regard to case, after cutting `name` to 31 bytes), or null.
void *support_GetDynamicFunction(const YString &name);
