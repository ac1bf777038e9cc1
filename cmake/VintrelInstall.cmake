# What `cmake --install` puts where, in three components (debian/*.install
# follows them): runtime (the versioned library), development (header,
# unversioned link, CMake and pkg-config files) and host (the program).
include(CMakePackageConfigHelpers)

set(VINTREL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VintrelBMPRotate2)

install(TARGETS VintrelBMPRotate2 EXPORT VintrelBMPRotate2Targets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
install(TARGETS bmprotate2 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT host)
if(NOT WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/tools/completion/bmprotate2
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT host)
endif()
install(EXPORT VintrelBMPRotate2Targets NAMESPACE VintrelBMPRotate2::
  DESTINATION ${VINTREL_CMAKE_DIR} COMPONENT development)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VintrelBMPRotate2Config.cmake.in
  ${PROJECT_BINARY_DIR}/VintrelBMPRotate2Config.cmake INSTALL_DESTINATION ${VINTREL_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VintrelBMPRotate2ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VintrelBMPRotate2Config.cmake
  ${PROJECT_BINARY_DIR}/VintrelBMPRotate2ConfigVersion.cmake
  DESTINATION ${VINTREL_CMAKE_DIR} COMPONENT development)

if(WIN32)
  # Microsoft's linker takes an import library made from the module
  # definition, beside MinGW's own.
  if(TARGET vintrel_import_library)
    install(FILES $<TARGET_PROPERTY:vintrel_import_library,VINTREL_FILE>
      DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
  endif()
  # What a Windows user unpacks: a README of its own, what it links to, a
  # picture to try and the Python example (packaging/check-zip holds the
  # README's links to the ZIP).
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/packaging/windows/README.md
    DESTINATION . COMPONENT runtime)
  install(FILES ${PROJECT_SOURCE_DIR}/doc/behaviour.md ${PROJECT_SOURCE_DIR}/doc/testcard.png
    ${PROJECT_SOURCE_DIR}/doc/testcard-30.png DESTINATION doc COMPONENT runtime)
  install(FILES ${PROJECT_SOURCE_DIR}/samples/testcard.bmp DESTINATION samples COMPONENT runtime)
  install(FILES ${PROJECT_SOURCE_DIR}/examples/rotate.py DESTINATION examples COMPONENT development)
else()
  # The prefix is found from the file's own place: right wherever the tree
  # is installed, and after it is moved.
  file(RELATIVE_PATH VINTREL_PC_UP /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
  string(REGEX REPLACE "/$" "" VINTREL_PC_UP "${VINTREL_PC_UP}")
  configure_file(${CMAKE_CURRENT_LIST_DIR}/VintrelBMPRotate2.pc.in
    ${PROJECT_BINARY_DIR}/VintrelBMPRotate2.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/VintrelBMPRotate2.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
  # The README with every page and picture it links to, where its links
  # find them (the Debian packages carry the licence as their copyright file).
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/ARCHITECTURE.md
    DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/doc/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/doc COMPONENT runtime
    FILES_MATCHING PATTERN "*.md" PATTERN "*.png" PATTERN "*.svg")
endif()
