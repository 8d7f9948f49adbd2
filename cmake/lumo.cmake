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

# lumo_program_resources(target): the program's resources (icon, manifest,
# version block); windres finds the manifest generated for this target through
# the target's include path.
function(lumo_program_resources target)
  target_sources(${target} PRIVATE ${LUMO_ROOT}/resources/lumo.rc)
  target_include_directories(${target} PRIVATE ${CMAKE_BINARY_DIR}/resources)
  set_source_files_properties(${LUMO_ROOT}/resources/lumo.rc PROPERTIES
    OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/resources/lumo.manifest)
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
