# SPDX-License-Identifier: MIT
# Windows: the DLL under the device's module name, kalmlib.dll, with its import
# library libkalmlib.dll.a beside the static libkalmlib.a; its loader entry
# point; and KALMLIB_STATIC for whoever links the static library, so that the
# header does not declare its functions as DLL imports.
set_target_properties(kalmlib PROPERTIES PREFIX "" OUTPUT_NAME kalmlib RUNTIME_OUTPUT_NAME kalmlib
  ARCHIVE_OUTPUT_NAME kalmlib)
target_sources(kalmlib PRIVATE ${PROJECT_SOURCE_DIR}/src/abi/dll_main.cpp)
target_include_directories(kalmlib PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_compile_definitions(kalmlib PRIVATE KALMLIB_BUILDING)
target_compile_definitions(kalmlib_static PUBLIC KALMLIB_STATIC)
