# The same sources for 64-bit Windows: the build that the Wine tests run at
# native speed where this machine's kernel cannot run 32-bit Wine directly.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ENGINE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
