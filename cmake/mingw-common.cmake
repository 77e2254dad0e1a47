# Shared by the two Windows toolchains. The -posix variants are used because
# GoogleTest needs std::mutex; a static GUI program is the same size with either.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ENGINE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ENGINE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ENGINE_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ENGINE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
