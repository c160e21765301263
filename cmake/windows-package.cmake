# The Windows programs as one ZIP, with what a shop needs beside them: the
# README, the example batch file and an example settings file.
#   cmake --build --preset windows --target package
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/batch-example.csv
              ${PROJECT_SOURCE_DIR}/packaging/combining-tool.ini.example
        DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kestrova-combining-tool)
set(CPACK_PACKAGE_VENDOR Kestrova)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME windows-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
