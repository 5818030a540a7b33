# Installs the build tree into a scratch prefix, then configures, builds and
# runs a small consumer through find_package(KvSupport) and through pkg-config.
file(REMOVE_RECURSE ${KV_WORK_DIR})
set(prefix ${KV_WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}")
  endif()
endfunction()

string(REPLACE ";" " " flags "${KV_CXX_FLAGS}")
run(${CMAKE_COMMAND} --install ${KV_BINARY_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${KV_CONSUMER_DIR} -B ${KV_WORK_DIR}/build
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${KV_CXX_COMPILER}
    "-DCMAKE_CXX_FLAGS=${flags}")
run(${CMAKE_COMMAND} --build ${KV_WORK_DIR}/build)
run(${KV_WORK_DIR}/build/consumer)

# The pkg-config file must give a working compile and link line too.
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
execute_process(COMMAND pkg-config --cflags --libs kvsupport
                OUTPUT_VARIABLE pc OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know kvsupport")
endif()
separate_arguments(pc UNIX_COMMAND "${pc}")
separate_arguments(sflags UNIX_COMMAND "${flags}")
run(${KV_CXX_COMPILER} -std=c++17 -fPIC ${sflags} ${KV_CONSUMER_DIR}/main.cpp ${pc}
    -Wl,-rpath,${prefix}/lib -o ${KV_WORK_DIR}/consumer-pc)
run(${KV_WORK_DIR}/consumer-pc)
