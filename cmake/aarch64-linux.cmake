# Cross-compiles libVellamoorJIOaarch64.so, the Linux library for 64-bit ARM
# (kiosks and tills on ARM boards), with Debian's aarch64 compiler. Its tests
# run it in an arm64 JVM under qemu-user (tests/jvm).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(VELLAMOOR_PLATFORM posix)
set(VELLAMOOR_LINUX_LIBRARY_NAME VellamoorJIOaarch64)
