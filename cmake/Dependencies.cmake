# Boost is used header-only (JSON through boost/json/src.hpp in one source file, Multiprecision
# for big integers), so a cross build needs nothing but the headers.
if(NOT DEFINED ORVANE_BOOST_INCLUDE_DIR)
  find_path(ORVANE_BOOST_INCLUDE_DIR boost/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
endif()
if(NOT ORVANE_BOOST_INCLUDE_DIR)
  message(FATAL_ERROR "Boost headers (1.81, with Boost.JSON) not found; run scripts/install-deps")
endif()
add_library(orvane_boost INTERFACE)
# A folder of its own holding only a link to boost/, so no other system header leaks into a
# cross build through this include path.
set(_boost_shim "${CMAKE_BINARY_DIR}/boost-include")
if(NOT EXISTS "${_boost_shim}/boost")
  file(MAKE_DIRECTORY "${_boost_shim}")
  file(CREATE_LINK "${ORVANE_BOOST_INCLUDE_DIR}/boost" "${_boost_shim}/boost" SYMBOLIC)
endif()
target_include_directories(orvane_boost SYSTEM INTERFACE "${_boost_shim}")
target_compile_definitions(orvane_boost INTERFACE BOOST_JSON_NO_LIB BOOST_CONTAINER_NO_LIB)

if(ORVANE_TESTS)
  find_package(GTest QUIET)
  if(NOT GTest_FOUND)
    # Debian ships the GoogleTest sources; build them when no compiled package is usable (for
    # example in a cross build).
    if(EXISTS /usr/src/googletest/CMakeLists.txt)
      set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
      set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
      add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
      if(NOT TARGET GTest::gtest)
        add_library(GTest::gtest ALIAS gtest)
        add_library(GTest::gtest_main ALIAS gtest_main)
      endif()
    else()
      message(FATAL_ERROR "GoogleTest not found; run scripts/install-deps")
    endif()
  endif()
  include(GoogleTest)
endif()

# xxHash's XXH3, used header-only (XXH_INLINE_ALL) for the page's file versions, so neither the
# static nor the cross build links a library. A shim folder holds only its header, as for Boost.
if(NOT DEFINED ORVANE_XXHASH_INCLUDE_DIR)
  find_path(ORVANE_XXHASH_INCLUDE_DIR xxhash.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
endif()
if(NOT ORVANE_XXHASH_INCLUDE_DIR)
  message(FATAL_ERROR "xxhash.h (libxxhash-dev) not found; run scripts/install-deps")
endif()
add_library(orvane_xxhash INTERFACE)
set(_xxhash_shim "${CMAKE_BINARY_DIR}/xxhash-include")
if(NOT EXISTS "${_xxhash_shim}/xxhash.h")
  file(MAKE_DIRECTORY "${_xxhash_shim}")
  file(CREATE_LINK "${ORVANE_XXHASH_INCLUDE_DIR}/xxhash.h" "${_xxhash_shim}/xxhash.h" SYMBOLIC)
endif()
target_include_directories(orvane_xxhash SYSTEM INTERFACE "${_xxhash_shim}")
