# cmake -DICONS=DIR -P icons_test.cmake: each PNG of the icon theme has the size of its directory
# (the theme and lintian take a 48x48/apps/korvo.png of another size for a broken icon) and is not
# an empty picture.
foreach(size 16 22 24 32 48 64 128 256)
  set(png "${ICONS}/${size}x${size}/korvo.png")
  if(NOT EXISTS "${png}")
    message(FATAL_ERROR "${png} is missing")
  endif()
  file(READ "${png}" header LIMIT 24 HEX)
  # The signature, then the IHDR chunk: width and height as 32-bit big-endian numbers.
  string(SUBSTRING "${header}" 0 16 signature)
  string(SUBSTRING "${header}" 32 8 width)
  string(SUBSTRING "${header}" 40 8 height)
  if(NOT signature STREQUAL "89504e470d0a1a0a")
    message(FATAL_ERROR "${png} is not a PNG file")
  endif()
  math(EXPR w "0x${width}")
  math(EXPR h "0x${height}")
  if(NOT w EQUAL size OR NOT h EQUAL size)
    message(FATAL_ERROR "${png} is ${w}x${h}, not ${size}x${size}")
  endif()
  # A fully transparent picture compresses to almost nothing.
  file(SIZE "${png}" bytes)
  if(bytes LESS 200)
    message(FATAL_ERROR "${png} holds only ${bytes} bytes: nothing was drawn")
  endif()
endforeach()
message(STATUS "icons: 8 sizes, each as large as its directory says")
