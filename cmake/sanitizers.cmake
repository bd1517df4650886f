# FRAMOLO_SANITIZE: ON for AddressSanitizer and UndefinedBehaviorSanitizer,
# "thread" for ThreadSanitizer (the two kinds cannot share a build).
if(FRAMOLO_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(FRAMOLO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
