# FRAMOLO_SANITIZE=ON builds with AddressSanitizer and UndefinedBehaviorSanitizer;
# FRAMOLO_SANITIZE=thread builds with ThreadSanitizer (which cannot be combined
# with AddressSanitizer).
if(FRAMOLO_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(FRAMOLO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
