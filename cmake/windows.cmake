# The Windows build (mingw-w64): the in-process server Tarvex_83.dll and the host tarvex.exe, from
# the same sources as the other systems with the platform's parts in their own files. SQLite and
# pugixml are compiled from the Debian source packages that scripts/windows-sources unpacks
# (TARVEX_WINDOWS_SOURCES); fmt, CLI11 and date are used header-only from their Debian packages.
enable_language(C)
set(TARVEX_WINDOWS_SOURCES "${CMAKE_BINARY_DIR}/../windows-sources" CACHE PATH
    "Folder with sqlite3.c, sqlite3.h and pugixml/")
get_filename_component(third_party "${TARVEX_WINDOWS_SOURCES}" ABSOLUTE)
foreach(file sqlite3.c sqlite3.h pugixml/pugixml.cpp)
  if(NOT EXISTS "${third_party}/${file}")
    message(FATAL_ERROR "${third_party}/${file} is missing: run scripts/windows-sources ${third_party}")
  endif()
endforeach()

# Only these headers of the build machine: its other headers are not the target's.
set(header_only "${CMAKE_BINARY_DIR}/header-only")
file(MAKE_DIRECTORY "${header_only}")
foreach(library fmt CLI date)
  file(CREATE_LINK /usr/include/${library} "${header_only}/${library}" SYMBOLIC)
endforeach()

set(src "${CMAKE_SOURCE_DIR}/src")
add_compile_definitions(FMT_HEADER_ONLY _WIN32_WINNT=0x0601 _POSIX_THREAD_SAFE_FUNCTIONS)
# Static: wine (and a bare Windows) has no libstdc++ DLL to load. Stripped: no debugger there.
add_link_options(-static -s)

add_library(tarvex_third_party STATIC "${third_party}/sqlite3.c" "${third_party}/pugixml/pugixml.cpp")
target_include_directories(tarvex_third_party SYSTEM PUBLIC "${third_party}" "${third_party}/pugixml")
target_compile_definitions(tarvex_third_party PUBLIC SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION)
target_compile_options(tarvex_third_party PRIVATE -w)

# Our own code: warnings are errors.
set(tarvex_warnings -Wall -Wextra -Wpedantic -Werror -Wno-error=deprecated-declarations)

# The type library: widl compiles the IDL into Tarvex_83.tlb, which the DLL carries as a
# resource, and Tarvex_83.h, the interfaces' declarations for C++. Its IDispatch and IUnknown are
# the platform's, imported from stdole2.tlb (wine's copy on this build machine).
enable_language(RC)
set(type_library "${CMAKE_BINARY_DIR}/type-library")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(widl_names i686-w64-mingw32-widl widl)
  set(widl_target --win32)
else()
  set(widl_names x86_64-w64-mingw32-widl widl)
  set(widl_target --win64)
endif()
find_program(TARVEX_WIDL NAMES ${widl_names} REQUIRED)
find_path(TARVEX_STDOLE2_DIR stdole2.tlb REQUIRED NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH PATHS
          /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/i386-linux-gnu/wine/i386-windows
          /usr/lib/wine/x86_64-windows /usr/lib/wine/i386-windows)
add_custom_command(
  OUTPUT "${type_library}/Tarvex_83.tlb" "${type_library}/Tarvex_83.h"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${type_library}"
  COMMAND "${TARVEX_WIDL}" ${widl_target} -t -h -I "${src}/entry/windows" -L "${TARVEX_STDOLE2_DIR}"
          -H "${type_library}/Tarvex_83.h" -o "${type_library}/Tarvex_83.tlb"
          "${src}/entry/windows/Tarvex_83.idl"
  DEPENDS "${src}/entry/windows/Tarvex_83.idl" "${src}/entry/windows/oaidl.idl"
  VERBATIM)
add_custom_target(tarvex_type_library DEPENDS "${type_library}/Tarvex_83.tlb")
set_source_files_properties("${src}/entry/windows/Tarvex_83.rc" PROPERTIES
                            OBJECT_DEPENDS "${type_library}/Tarvex_83.tlb")

file(GLOB automation_sources CONFIGURE_DEPENDS ${src}/automation/*.cpp ${src}/automation/com/*.cpp)
add_library(tarvex_automation STATIC ${automation_sources})
add_dependencies(tarvex_automation tarvex_type_library)
target_include_directories(tarvex_automation PUBLIC ${src} "${type_library}")
target_include_directories(tarvex_automation SYSTEM PUBLIC "${header_only}")
target_compile_options(tarvex_automation PRIVATE ${tarvex_warnings})
target_link_libraries(tarvex_automation PUBLIC ole32 oleaut32 uuid)

# The companions, with the platform's own versions of the parts that touch the system, and of
# the document object model only the serialiser that the step exporter shares.
file(GLOB companion_sources CONFIGURE_DEPENDS ${src}/companions/*.cpp
     ${src}/companions/utilities/*.cpp ${src}/companions/store/*.cpp
     ${src}/companions/dom/xml_text.cpp ${src}/companions/windows/*/*.cpp)
list(FILTER companion_sources EXCLUDE REGEX
     "/companions/utilities/(guid_generator|run_environment)\\.cpp$")
# No PostgreSQL client library for this build: the driver seam refuses that driver.
list(FILTER companion_sources EXCLUDE REGEX "/companions/store/(pg|postgres)_[^/]*\\.cpp$")

file(GLOB system_sources CONFIGURE_DEPENDS ${src}/entry/*.cpp ${src}/inspection/*.cpp
     ${src}/xhtml/*.cpp)

file(GLOB server_sources CONFIGURE_DEPENDS ${src}/entry/windows/*.cpp)
add_library(Tarvex_83 SHARED ${system_sources} ${companion_sources} ${server_sources}
            ${src}/entry/windows/Tarvex_83.rc ${src}/entry/windows/Tarvex_83.def)
set_target_properties(Tarvex_83 PROPERTIES PREFIX "" OUTPUT_NAME Tarvex_83)
target_compile_options(Tarvex_83 PRIVATE ${tarvex_warnings}
                       -include ${src}/companions/windows/posix_compat.h)
target_link_libraries(Tarvex_83 PRIVATE tarvex_automation tarvex_third_party advapi32)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # The entry points are stdcall: exported under their plain names, as the .def file says.
  target_link_options(Tarvex_83 PRIVATE -Wl,--enable-stdcall-fixup)
endif()

add_executable(tarvex ${src}/host/windows/main.cpp ${src}/host/windows/step_runner.cpp
               ${src}/host/run_command.cpp ${src}/host/step_script.cpp
               ${src}/host/hints.cpp)
target_compile_options(tarvex PRIVATE ${tarvex_warnings})
target_link_libraries(tarvex PRIVATE tarvex_automation shell32)

if(TARVEX_BUILD_TESTS)
  # The binding's own tests, run under wine by scripts/windows (no test framework on this side).
  add_executable(com_tests ${CMAKE_SOURCE_DIR}/tests/windows/com_tests.cpp)
  target_compile_options(com_tests PRIVATE ${tarvex_warnings})
  target_link_libraries(com_tests PRIVATE tarvex_automation)
  # The platform's own registration of a type library, for scripts/windows-install to compare.
  add_executable(register_type_library ${CMAKE_SOURCE_DIR}/tests/windows/register_type_library.cpp)
  target_compile_options(register_type_library PRIVATE ${tarvex_warnings})
  target_link_options(register_type_library PRIVATE -municode)
  target_link_libraries(register_type_library PRIVATE oleaut32)
endif()
