# Settings every target of the project shares: warnings, and the sanitizers
# when the sanitizer build is asked for.
function(xmlpellor_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(XMLPELLOR_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(XMLPELLOR_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE" AND TARGET mimalloc)
    target_link_libraries(${target} PRIVATE mimalloc)
  endif()
endfunction()

# A static library of the program: xmlpellor_<name>, aliased xmlpellor::<name>.
function(add_xmlpellor_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(xmlpellor_${name} STATIC ${ARG_SOURCES})
  add_library(xmlpellor::${name} ALIAS xmlpellor_${name})
  target_include_directories(xmlpellor_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(xmlpellor_${name} PUBLIC ${ARG_LIBS})
  xmlpellor_target_defaults(xmlpellor_${name})
endfunction()

# A test executable registered with ctest. LABELS and ENV are optional.
function(add_xmlpellor_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  xmlpellor_target_defaults(${name})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "XMLPELLOR_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data;XMLPELLOR_BUILD_DIR=${CMAKE_BINARY_DIR};${ARG_ENV}"
    LABELS "${ARG_LABELS}")
endfunction()
