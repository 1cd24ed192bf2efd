# The modules as an installed package (component "dev"): the exported
# targets, the CMake package configuration, its version file and a
# pkg-config file, all with the project's version.
include(CMakePackageConfigHelpers)
find_package(Threads REQUIRED)
set(EHI_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ehi)

install(EXPORT ehiTargets NAMESPACE ehi:: DESTINATION ${EHI_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ehiConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ehiConfig.cmake INSTALL_DESTINATION ${EHI_CMAKE_DIR})
# Within a major version the interface only grows.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ehiConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ehiConfig.cmake ${PROJECT_BINARY_DIR}/ehiConfigVersion.cmake
        DESTINATION ${EHI_CMAKE_DIR} COMPONENT dev)

# The pkg-config file finds its prefix from where it lies, so an unpacked
# or moved tree works as well as an installed one.
file(RELATIVE_PATH EHI_PC_TO_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
string(REGEX REPLACE "/$" "" EHI_PC_TO_PREFIX "${EHI_PC_TO_PREFIX}")
# What the services link besides: the threads library (where it is not part
# of the C library) and the dynamic loader's.
set(system_libs ${CMAKE_THREAD_LIBS_INIT})
if(CMAKE_DL_LIBS)
  list(APPEND system_libs -l${CMAKE_DL_LIBS})
endif()
list(JOIN system_libs " " EHI_PC_SYSTEM_LIBS)
configure_file(${CMAKE_CURRENT_LIST_DIR}/ehi.pc.in ${PROJECT_BINARY_DIR}/ehi.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ehi.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# A program of its own built against a staged install of this build (the
# example in examples/consumer): a header left out, a missing dependency or
# a broken package file fails here. The sanitizer builds' libraries need
# the sanitizers in the program too, so they are left out.
if(EHI_TESTS AND NOT EHI_SANITIZE AND NOT EHI_FUZZ)
  set(consumer_test ${PROJECT_SOURCE_DIR}/examples/consumer/test-consumer.sh)
  if(NOT CMAKE_CROSSCOMPILING)
    add_test(NAME consumer_staged_install
             COMMAND sh ${consumer_test} ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR})
  elseif(WIN32 AND CMAKE_CROSSCOMPILING_EMULATOR)
    # A toolchain file given relative is found from the build folder or
    # else the source folder; the example is configured elsewhere.
    set(toolchain ${CMAKE_TOOLCHAIN_FILE})
    if(NOT IS_ABSOLUTE ${toolchain})
      if(EXISTS ${PROJECT_BINARY_DIR}/${toolchain})
        set(toolchain ${PROJECT_BINARY_DIR}/${toolchain})
      else()
        set(toolchain ${PROJECT_SOURCE_DIR}/${toolchain})
      endif()
    endif()
    add_test(NAME consumer_staged_install
             COMMAND sh ${consumer_test} ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR}
                     ${toolchain} ${CMAKE_CROSSCOMPILING_EMULATOR})
  endif()
  if(TEST consumer_staged_install)
    set_tests_properties(consumer_staged_install PROPERTIES TIMEOUT 300)
  endif()
endif()
