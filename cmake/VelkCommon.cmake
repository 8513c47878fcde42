# Compiler settings of the project, and the helpers that the folders use.

# Warnings for our own code only: velk_link_warnings (called once from the
# top-level list) links this to every target defined in our folders, so
# vendored code built inside the tree (GoogleTest under Wine) never meets
# -Werror.
add_library(velk_warnings INTERFACE)
if(MSVC)
  target_compile_options(velk_warnings INTERFACE /W4 /permissive-
    $<$<BOOL:${VELK_WARNINGS_AS_ERRORS}>:/WX>)
else()
  target_compile_options(velk_warnings INTERFACE
    -Wall -Wextra -Wnon-virtual-dtor -Woverloaded-virtual
    $<$<BOOL:${VELK_WARNINGS_AS_ERRORS}>:-Werror>)
endif()
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # Checks the lock annotations of common/thread_annotations.h, always as an
  # error: a broken locking rule is a fault, not a style point.
  target_compile_options(velk_warnings INTERFACE
    -Wthread-safety -Werror=thread-safety)
endif()

# velk_link_warnings(DIR): links velk_warnings to every compiled target that
# DIR and its subfolders define inside this source tree.
function(velk_link_warnings dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(source_dir ${target} SOURCE_DIR)
    cmake_path(IS_PREFIX CMAKE_SOURCE_DIR "${source_dir}" ours)
    if(ours AND type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      target_link_libraries(${target} PRIVATE velk_warnings)
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    velk_link_warnings(${subdir})
  endforeach()
endfunction()

# Coverage instrumentation for the fuzzers, on the libraries they drive:
# linked by those libraries, empty unless VELK_FUZZ is on.
add_library(velk_fuzz_instrumentation INTERFACE)
if(VELK_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VELK_FUZZ needs clang (libFuzzer)")
  endif()
  target_compile_options(velk_fuzz_instrumentation INTERFACE
    -fsanitize=fuzzer-no-link)
endif()

if(WIN32)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
  if(MINGW)
    # Ship no MinGW DLLs: the C and C++ runtimes and winpthread are linked in.
    add_link_options(-static -static-libgcc -static-libstdc++)
  endif()
endif()

if(VELK_SANITIZE AND NOT WIN32)
  add_compile_options(-fsanitize=${VELK_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${VELK_SANITIZE})
endif()

# Tests under Wine: ctest runs every Windows test program through our runner,
# which gives the build its own Wine prefix (made from a cached template) and a
# persistent wineserver. Must be set before any target is created.
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(VELK_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix that the tests of this build run in")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/cmake/wine_test_runner.sh ${VELK_WINE_PREFIX})
endif()

# velk_add_version_resource(TARGET DESCRIPTION): gives the program TARGET
# version information made from the project's version, the one version that
# the packages carry too.
function(velk_add_version_resource velk_target velk_file_description)
  set(parts ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR}
    ${PROJECT_VERSION_PATCH} ${PROJECT_VERSION_TWEAK} 0 0 0)
  list(SUBLIST parts 0 4 parts)
  list(JOIN parts "," velk_version_commas)
  set(velk_copyright_year 2026)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${velk_target}_version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/program_version.rc.in ${rc} @ONLY)
  target_sources(${velk_target} PRIVATE ${rc})
endfunction()
