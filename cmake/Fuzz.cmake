# Fuzz harnesses: each is one LLVMFuzzerTestOneInput in a source of fuzz/, registered with one
# line in fuzz/CMakeLists.txt:
#
#   quenfold_fuzz_harness(NAME SOURCE File.cpp LIBRARIES target… [SEEDS folder…]
#                         [DEFINITIONS NAME=value…])
#
# In every build it makes NAME's replay program (fuzz_NAME_replay: the harness with a main that
# hands it every file of the folders it is given) and the ctest case fuzz.replay.NAME, which
# replays fuzz/regressions/NAME (every input that ever made the harness fail) and the seeds.
# With QUENFOLD_FUZZ (clang only) it also makes fuzz_NAME, the libFuzzer program that
# scripts/fuzz runs. The seeds are folders of the project's own files; generated seeds go to
# <build>/fuzz/seeds/NAME (fuzz_make_seeds).
option(QUENFOLD_FUZZ "Build the libFuzzer harnesses under fuzz/ (needs clang)" OFF)

if(QUENFOLD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QUENFOLD_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++-14")
  endif()
  # Everything the harnesses reach is instrumented for coverage and checked by the sanitizers.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

set(QUENFOLD_FUZZ_LIST ${CMAKE_BINARY_DIR}/fuzz/harnesses.txt)
file(WRITE ${QUENFOLD_FUZZ_LIST} "")
if(NOT TARGET fuzz_harnesses)
  add_custom_target(fuzz_harnesses)
endif()

function(quenfold_fuzz_harness name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "SOURCE" "LIBRARIES;SEEDS;DEFINITIONS")
  get_filename_component(source ${ARG_SOURCE} ABSOLUTE)
  set(seeds ${ARG_SEEDS} ${CMAKE_BINARY_DIR}/fuzz/seeds/${name})
  set(regressions ${PROJECT_SOURCE_DIR}/fuzz/regressions/${name})

  add_executable(fuzz_${name}_replay ${source} ${PROJECT_SOURCE_DIR}/fuzz/ReplayMain.cpp)
  target_link_libraries(fuzz_${name}_replay PRIVATE ${ARG_LIBRARIES})
  target_compile_definitions(fuzz_${name}_replay PRIVATE
    QUENFOLD_BUNDLE_PATH="${QUENFOLD_BUNDLE}" ${ARG_DEFINITIONS})
  add_test(NAME fuzz.replay.${name} COMMAND fuzz_${name}_replay ${regressions} ${seeds})
  set_tests_properties(fuzz.replay.${name} PROPERTIES FIXTURES_REQUIRED fuzz.seeds)
  add_dependencies(fuzz_harnesses fuzz_${name}_replay)

  if(QUENFOLD_FUZZ)
    add_executable(fuzz_${name} ${source})
    target_link_libraries(fuzz_${name} PRIVATE ${ARG_LIBRARIES})
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_compile_definitions(fuzz_${name} PRIVATE
      QUENFOLD_BUNDLE_PATH="${QUENFOLD_BUNDLE}" ${ARG_DEFINITIONS})
    add_dependencies(fuzz_harnesses fuzz_${name})
  endif()
  # One line a harness for scripts/fuzz: its name, then its seed folders.
  list(JOIN seeds " " seedList)
  file(APPEND ${QUENFOLD_FUZZ_LIST} "${name} ${regressions} ${seedList}\n")
endfunction()
