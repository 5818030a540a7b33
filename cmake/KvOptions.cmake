# Compiler settings shared by every target of the project.

if(KV_SANITIZE)
  set(KV_SANITIZER_FLAGS
      -fsanitize=address,undefined
      -fno-sanitize-recover=undefined
      -fno-omit-frame-pointer)
  add_compile_options(${KV_SANITIZER_FLAGS})
  add_link_options(${KV_SANITIZER_FLAGS})
endif()

# A separate build checks the threaded components under ThreadSanitizer.
if(KV_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# With clang the library carries fuzzing coverage instrumentation in sanitizer
# builds, so the fuzz targets explore the library's branches, not only their own.
set(KV_HAVE_LIBFUZZER OFF)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(KV_HAVE_LIBFUZZER ON)
endif()

# The project's own code builds with -Wall -Wextra. Our own builds (the test
# and benchmark scripts) turn warnings into errors with KV_WERROR; a consumer's
# or packager's default build does not, so a newer compiler's new warning never
# breaks it. Third-party headers come in as system headers and are exempt.
function(kv_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
  if(KV_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(KV_SANITIZE AND KV_HAVE_LIBFUZZER AND KV_BUILD_FUZZ)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()
