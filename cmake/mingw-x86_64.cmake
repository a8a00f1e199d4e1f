# 64-bit Windows: the same sources, so that the tests can run under 64-bit
# Wine on machines whose kernel refuses 32-bit code. What ships stays the
# 32-bit build.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
