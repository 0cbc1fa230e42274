# One interface target that carries the language standard, the warnings and the sanitizers.
# Every target of the project links it.
add_library(webletter_options INTERFACE)
# Standard C++20 without GNU extensions: CMAKE_CXX_EXTENSIONS is OFF in the top CMakeLists.txt.
target_compile_features(webletter_options INTERFACE cxx_std_20)
target_compile_options(webletter_options INTERFACE
  -Wall -Wextra -Wpedantic -Wold-style-cast -Wconversion -Wshadow
  $<$<BOOL:${WEBLETTER_WERROR}>:-Werror>)
# Hardening as Debian builds its packages: a guarded stack and control flow, fortified library
# calls where the optimiser can check them, and a relocation table that becomes read-only at
# start. The sanitizers check the calls themselves.
if(NOT WEBLETTER_SANITIZE AND NOT WEBLETTER_FUZZ)
  target_compile_options(webletter_options INTERFACE
    -fstack-protector-strong -fstack-clash-protection -fcf-protection)
  target_compile_definitions(webletter_options INTERFACE
    $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endif()
target_link_options(webletter_options INTERFACE LINKER:-z,relro,-z,now)
if(WEBLETTER_SANITIZE)
  target_compile_options(webletter_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(webletter_options INTERFACE -fsanitize=address,undefined)
endif()
if(WEBLETTER_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "WEBLETTER_FUZZ needs clang (libFuzzer)")
  endif()
  # The libraries get the fuzzer's coverage hooks; fuzz/ links the fuzzer's own main.
  target_compile_options(webletter_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  target_link_options(webletter_options INTERFACE -fsanitize=address,undefined)
endif()
