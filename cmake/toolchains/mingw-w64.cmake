# Cross build for 64-bit Windows with MinGW-w64 (posix thread model). Every executable is linked
# statically, so the .exe imports only system DLLs and runs alone on a player's machine. Tests run
# under Wine in a prefix of the build folder's own, so no user's Wine setup is touched or needed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_orvane_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_orvane_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_orvane_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_orvane_triple}-windres)

# Libraries and packages come from the MinGW sysroot only; host programs stay usable.
set(CMAKE_FIND_ROOT_PATH /usr/${_orvane_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libstdc++, libgcc or winpthread DLL beside the .exe.
# The reader, the writer and the JSON bridge recurse once per nesting level (up to 1000), so the
# main thread gets the same 8 MiB stack as on Linux instead of the 1 MiB Windows default.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--stack,8388608")

# CTest and gtest_discover_tests run the test executables through Wine. The prefix is created on
# first use; the .NET and HTML engines are never installed, and Wine's own diagnostics stay off so
# they cannot mix with a test's output.
if(NOT DEFINED ORVANE_WINEPREFIX)
  set(ORVANE_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
endif()
find_program(ORVANE_WINE NAMES wine wine64)
if(ORVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      "${CMAKE_COMMAND};-E;env;WINEPREFIX=${ORVANE_WINEPREFIX};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=;${ORVANE_WINE}")
endif()
