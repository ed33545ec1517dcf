#pragma once
// KORVO_ADDRESS_SANITIZER is 1 in a build with the address sanitizer (GCC or Clang), whose allocator
// and address space are its own: code that tunes the heap or limits the address space stands back.
#if defined(__SANITIZE_ADDRESS__)
#define KORVO_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVO_ADDRESS_SANITIZER 1
#endif
#endif
