# Puts the build tree's installation into a scratch prefix, then configures,
# builds and runs a small consumer through find_package(KvSupport) and through
# pkg-config. With KV_FROM_PACKAGES the prefix comes from the Debian packages
# that `cpack -G DEB` makes of the build tree (unpacked, not installed), and
# the packages' names and contents are checked first.
file(REMOVE_RECURSE ${KV_WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}")
  endif()
endfunction()

# Fails unless the package's file list holds every one of the given paths.
function(expect_contents deb)
  execute_process(COMMAND dpkg-deb -c ${deb} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dpkg-deb cannot list ${deb}")
  endif()
  message(STATUS "${deb}:\n${listing}")
  foreach(path ${ARGN})
    string(FIND "${listing}" " ./usr/${path}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${deb} lacks /usr/${path}")
    endif()
  endforeach()
endfunction()

if(KV_FROM_PACKAGES)
  foreach(tool cpack dpkg-deb)
    find_program(found_${tool} ${tool})
    if(NOT found_${tool})
      message("SKIPPED: ${tool} is not installed")
      return()
    endif()
  endforeach()
  set(packages ${KV_WORK_DIR}/packages)
  run(${found_cpack} -G DEB --config ${KV_BINARY_DIR}/CPackConfig.cmake -B ${packages})
  set(version ${KV_VERSION}_)
  set(lib ${KV_LIBDIR})
  set(runtime ${packages}/libkvsupport${KV_SOVERSION}_${version})
  file(GLOB runtime_deb ${runtime}*.deb)
  file(GLOB dev_deb ${packages}/libkvsupport-dev_${version}*.deb)
  file(GLOB tool_deb ${packages}/kvtool_${version}*.deb)
  if(NOT runtime_deb OR NOT dev_deb OR NOT tool_deb)
    file(GLOB made ${packages}/*.deb)
    message(FATAL_ERROR "expected the runtime, -dev and kvtool packages, got: ${made}")
  endif()
  expect_contents(${runtime_deb} ${lib}/libkvsupport.so.${KV_SOVERSION}
                  ${lib}/libkvsupport.so.${KV_VERSION})
  expect_contents(${dev_deb} ${lib}/libkvsupport.so include/kvsupport/strings/YString.h
                  ${lib}/cmake/KvSupport/KvSupportConfig.cmake ${lib}/pkgconfig/kvsupport.pc)
  expect_contents(${tool_deb} bin/kvtool)
  # Programs packaged against the library learn their dependency from its shlibs.
  run(dpkg-deb -e ${runtime_deb} ${KV_WORK_DIR}/control)
  file(READ ${KV_WORK_DIR}/control/shlibs shlibs)
  if(NOT shlibs MATCHES "^libkvsupport ${KV_SOVERSION} libkvsupport${KV_SOVERSION} ")
    message(FATAL_ERROR "unexpected shlibs: ${shlibs}")
  endif()
  foreach(deb ${runtime_deb} ${dev_deb} ${tool_deb})
    run(dpkg-deb -x ${deb} ${KV_WORK_DIR}/root)
  endforeach()
  set(prefix ${KV_WORK_DIR}/root/usr)
  run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/${KV_LIBDIR} ${prefix}/bin/kvtool --version)
else()
  set(prefix ${KV_WORK_DIR}/prefix)
  run(${CMAKE_COMMAND} --install ${KV_BINARY_DIR} --prefix ${prefix})
endif()

string(REPLACE ";" " " flags "${KV_CXX_FLAGS}")
run(${CMAKE_COMMAND} -S ${KV_CONSUMER_DIR} -B ${KV_WORK_DIR}/build
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${KV_CXX_COMPILER}
    "-DCMAKE_CXX_FLAGS=${flags}")
run(${CMAKE_COMMAND} --build ${KV_WORK_DIR}/build)
run(${KV_WORK_DIR}/build/consumer)

# The pkg-config file must give a working compile and link line too.
set(ENV{PKG_CONFIG_PATH} ${prefix}/${KV_LIBDIR}/pkgconfig)
execute_process(COMMAND pkg-config --cflags --libs kvsupport
                OUTPUT_VARIABLE pc OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know kvsupport")
endif()
separate_arguments(pc UNIX_COMMAND "${pc}")
separate_arguments(sflags UNIX_COMMAND "${flags}")
run(${KV_CXX_COMPILER} -std=c++17 -fPIC ${sflags} ${KV_CONSUMER_DIR}/main.cpp ${pc}
    -Wl,-rpath,${prefix}/${KV_LIBDIR} -o ${KV_WORK_DIR}/consumer-pc)
run(${KV_WORK_DIR}/consumer-pc)
