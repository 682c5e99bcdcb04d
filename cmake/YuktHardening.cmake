# The hardening Debian builds its packages with: checked string and memory
# functions, stack protector, read-only relocations resolved at start. Off
# with the sanitizers, which bring their own checks.
option(YUKT_HARDEN "Build with the hardening flags of Debian packages" ON)
if(YUKT_HARDEN AND NOT YUKT_SANITIZE)
  # Fortified glibc marks freopen, system and the like "warn unused result";
  # -Wno-unused-result keeps the warnings what they are without it.
  add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security
                      -Wno-unused-result)
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()
