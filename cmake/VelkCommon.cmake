# Compiler settings shared by every target, and the helpers that the folders
# use to declare tests.

if(MSVC)
  add_compile_options(/W4 /permissive-)
  if(VELK_WARNINGS_AS_ERRORS)
    add_compile_options(/WX)
  endif()
else()
  add_compile_options(-Wall -Wextra -Wnon-virtual-dtor -Woverloaded-virtual)
  if(VELK_WARNINGS_AS_ERRORS)
    add_compile_options(-Werror)
  endif()
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
