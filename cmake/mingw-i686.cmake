# Cross toolchain for 32-bit Windows, the shipped program.
set(zqv_mingw_processor i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)

# Doubles go through SSE2 so that every result is rounded exactly like the
# 64-bit builds'; x87 would keep 80-bit intermediates.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
