# Build helpers shared by every folder.

if(WIN32)
  # Our binaries carry their C/C++ runtime, so only libcurl.dll needs the two
  # MinGW runtime DLLs beside it.
  set(LUMO_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
  add_compile_definitions(WINVER=0x0601 _WIN32_WINNT=0x0601 _CRT_SECURE_NO_WARNINGS NOMINMAX)
  add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type)
  # The program works in code page 936: narrow string literals written in the
  # UTF-8 sources are stored as code page 936 bytes.
  add_compile_options(-finput-charset=UTF-8 -fexec-charset=CP936)
else()
  option(LUMO_SANITIZE "Build native code with AddressSanitizer and UBSan" ON)
  add_compile_options(-Wall -Wextra -Wno-unused-parameter)
  if(LUMO_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()

# lumo_program_version_parts(version out_var): the four numbers of a version
# "a.b.c.d" as a list; a version of another form stops the configuration.
function(lumo_program_version_parts version out_var)
  if(NOT version MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "program version '${version}' is not four numbers a.b.c.d")
  endif()
  string(REPLACE "." ";" parts "${version}")
  foreach(part ${parts})
    if(part GREATER 65535)
      message(FATAL_ERROR "program version '${version}': ${part} does not fit a version field")
    endif()
  endforeach()
  set(${out_var} ${parts} PARENT_SCOPE)
endfunction()

# lumo_program_resources(target [VERSION a.b.c.d]): the program's resources
# (icon, manifest, version block) with the build's version or the one given;
# windres finds the manifest and version header generated for that version
# through the target's include path.
function(lumo_program_resources target)
  cmake_parse_arguments(R "" "VERSION" "" ${ARGN})
  if(NOT R_VERSION)
    set(R_VERSION ${LUMO_PROGRAM_VERSION})
  endif()
  lumo_program_version_parts(${R_VERSION} parts)
  string(REPLACE ";" "," LUMO_VERSION_COMMAS "${parts}")
  set(LUMO_VERSION_TEXT ${R_VERSION})
  set(dir ${CMAKE_BINARY_DIR}/resources/${R_VERSION})
  configure_file(${LUMO_ROOT}/resources/lumo.manifest.in ${dir}/lumo.manifest @ONLY)
  configure_file(${LUMO_ROOT}/resources/lumo_version.h.in ${dir}/lumo_version.h @ONLY)
  target_sources(${target} PRIVATE ${LUMO_ROOT}/resources/lumo.rc)
  target_include_directories(${target} PRIVATE ${dir} ${LUMO_EVENTS_DIR})
  add_dependencies(${target} lumo_events)
  set_property(SOURCE ${LUMO_ROOT}/resources/lumo.rc TARGET_DIRECTORY ${target} APPEND
    PROPERTY OBJECT_DEPENDS ${dir}/lumo.manifest ${dir}/lumo_version.h ${LUMO_EVENTS_DIR}/lumo_events.rc)
endfunction()

# lumo_event_messages(): the event log's message table from
# resources/lumo_events.mc: windmc writes lumo_events.rc (with one .bin per
# language), which the program's resource script includes, and lumo_events.h
# with the event ids, which the code includes (target lumo_events, include
# folder LUMO_EVENTS_DIR).
function(lumo_event_messages)
  string(REGEX REPLACE "windres$" "windmc" windmc "${CMAKE_RC_COMPILER}")
  set(dir ${CMAKE_BINARY_DIR}/resources/events)
  set(mc ${LUMO_ROOT}/resources/lumo_events.mc)
  add_custom_command(
    OUTPUT ${dir}/lumo_events.rc ${dir}/lumo_events.h ${dir}/MSG00409.bin ${dir}/MSG00804.bin
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    # UTF-8 in, UTF-16 messages out, so the Chinese texts survive.
    COMMAND ${windmc} -C 65001 -U -h ${dir} -r ${dir} ${mc}
    DEPENDS ${mc}
    COMMENT "Message table for the event log")
  add_custom_target(lumo_events DEPENDS ${dir}/lumo_events.rc ${dir}/lumo_events.h)
  set(LUMO_EVENTS_DIR ${dir} PARENT_SCOPE)
endfunction()

# lumo_sources(file...): sources of the program that need Windows (lumo_core).
function(lumo_sources)
  if(WIN32)
    foreach(f ${ARGN})
      target_sources(lumo_core PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/${f})
    endforeach()
  endif()
endfunction()

# lumo_portable_sources(file...): platform-neutral sources, built in both trees.
function(lumo_portable_sources)
  foreach(f ${ARGN})
    target_sources(lumo_portable PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/${f})
  endforeach()
endfunction()

# lumo_test(name [NATIVE] [WINDOWS] [OWN_MAIN] SOURCES ... [LIBS ...] [ENV ...]): one gtest
# executable per module. NATIVE builds it in the native tree against
# lumo_portable; WINDOWS builds it in the Windows tree against lumo_core and
# runs it under Wine through CTest.
function(lumo_test name)
  cmake_parse_arguments(T "NATIVE;WINDOWS;OWN_MAIN" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  if(WIN32 AND NOT T_WINDOWS)
    return()
  endif()
  if(NOT WIN32 AND NOT T_NATIVE)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_include_directories(${name} PRIVATE ${LUMO_ROOT})
  if(NOT T_OWN_MAIN)
    target_link_libraries(${name} PRIVATE gmock_main)
  endif()
  if(WIN32)
    target_link_libraries(${name} PRIVATE lumo_core gmock gtest ${T_LIBS})
    target_link_options(${name} PRIVATE ${LUMO_STATIC_RUNTIME})
  else()
    target_link_libraries(${name} PRIVATE lumo_portable gmock gtest ${T_LIBS} pthread)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_ENV)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${T_ENV}")
  endif()
endfunction()
