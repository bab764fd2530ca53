add_library(kestrel_warnings INTERFACE)
target_compile_options(kestrel_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  $<$<BOOL:${KESTREL_WERROR}>:-Werror>)

add_library(kestrel_sanitize INTERFACE)
if(KESTREL_SANITIZE)
  target_compile_options(kestrel_sanitize INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(kestrel_sanitize INTERFACE -fsanitize=address,undefined)
  target_compile_definitions(kestrel_sanitize INTERFACE KESTREL_SANITIZE=1 KESTREL_LEAK_CHECK=1)
elseif(KESTREL_TSAN)
  target_compile_options(kestrel_sanitize INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(kestrel_sanitize INTERFACE -fsanitize=thread)
  target_compile_definitions(kestrel_sanitize INTERFACE KESTREL_SANITIZE=1)
endif()
