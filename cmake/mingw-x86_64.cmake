# Cross toolchain for 64-bit Windows: the same sources and tests as the 32-bit
# program, for machines whose kernel cannot run 32-bit programs. Doubles go
# through SSE2 already, as on every x86-64 build.
set(zqv_mingw_processor x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
