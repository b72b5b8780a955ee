# Cross toolchain for Windows: MinGW-w64 with the posix thread model, for the
# processor the including file names in zqv_mingw_processor (i686, the shipped
# 32-bit program, or x86_64, which runs the same tests where a kernel refuses
# 32-bit programs).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${zqv_mingw_processor})
set(zqv_mingw_triple ${zqv_mingw_processor}-w64-mingw32)

set(CMAKE_C_COMPILER ${zqv_mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${zqv_mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${zqv_mingw_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${zqv_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Self-contained executables: no libgcc, libstdc++ or winpthread DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${zqv_mingw_processor}")
