# Build rules shared by every folder: warnings, platform defines and the
# helpers that create the per-folder libraries and test executables.

# The program's built-in addresses: one place for each.
set(NORVANE_CATALOGUE_URL "https://download.norvanelab.com/Fast/brightsetup/windows/verinfo.txt"
  CACHE STRING "Where the program downloads its product catalogue")
set(NORVANE_COLLECTOR_URL "https://collect.norvanelab.com/"
  CACHE STRING "The analytics collector (https; host and port are used)")
set(NORVANE_TRACKING_ID "UA-20261210-1"
  CACHE STRING "The analytics tracking id (UA-digits-digits)")
# The page's QR-code pictures show this address too (tests/page/landing.js).
set(NORVANE_LANDING_URL "https://www.norvanelab.com/free/" CACHE STRING
  "The landing page shared when the catalogue has no SHARING_link entry")

option(NORVANE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(NORVANE_TSAN "Build with ThreadSanitizer" OFF)

# Warnings and the source root: everything we compile. Code that runs in
# another program's process (the WebKit web-process extension) takes only
# these, not the sanitizers of norvane_options.
add_library(norvane_warnings INTERFACE)
target_compile_options(norvane_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wconversion
  -Wcast-qual -Wformat=2 -Wimplicit-fallthrough -Wmissing-declarations -Werror)
# GCC 12 reports -Wrestrict on std::string concatenation at -O3 where no
# overlap can occur (GCC bug 105329); later releases do not.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(norvane_warnings INTERFACE -Wno-restrict)
endif()
target_include_directories(norvane_warnings INTERFACE ${PROJECT_SOURCE_DIR}/src)

add_library(norvane_options INTERFACE)
target_link_libraries(norvane_options INTERFACE norvane_warnings)

if(WIN32)
  target_compile_definitions(norvane_options INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  # One self-contained executable: no MinGW runtime DLLs next to it. Each
  # function in a section of its own, so that the product's link drops
  # what it never calls.
  target_link_options(norvane_options INTERFACE -static -static-libgcc -static-libstdc++)
  target_compile_options(norvane_options INTERFACE -ffunction-sections -fdata-sections)
endif()

if(NORVANE_SANITIZE)
  target_compile_options(norvane_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(norvane_options INTERFACE -fsanitize=address,undefined)
endif()
if(NORVANE_TSAN)
  target_compile_options(norvane_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(norvane_options INTERFACE -fsanitize=thread)
endif()

# Splits SOURCES... [LINUX files...] [WINDOWS files...] [DEPS libs...] into
# the sources of this platform (ARG_SOURCES) and ARG_DEPS: the per-OS files
# are picked here, once per folder.
macro(norvane_parse_sources)
  cmake_parse_arguments(ARG "" "" "LINUX;WINDOWS;DEPS" ${ARGN})
  set(ARG_SOURCES ${ARG_UNPARSED_ARGUMENTS})
  if(WIN32)
    list(APPEND ARG_SOURCES ${ARG_WINDOWS})
  else()
    list(APPEND ARG_SOURCES ${ARG_LINUX})
  endif()
endmacro()

# norvane_library(NAME SOURCES... [LINUX files...] [WINDOWS files...] [DEPS libs...])
function(norvane_library name)
  norvane_parse_sources(${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC norvane_options ${ARG_DEPS})
endfunction()

# norvane_test(NAME SOURCES... [LINUX files...] [WINDOWS files...] [DEPS libs...])
# One test executable per folder. On Linux each test case becomes its own
# CTest entry; under Wine the executable runs once, since every process
# start there costs far more than the tests themselves.
function(norvane_test name)
  norvane_parse_sources(${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gmock GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)
  endif()
endfunction()

# Links the embedded files (resources/) into an executable.
function(norvane_embed_resources target)
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:norvane_resources>)
  add_dependencies(${target} norvane_resources)
endfunction()
