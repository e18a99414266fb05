# The Windows delivery: harnow-VERSION-win64.zip with harnow.exe and a README.txt for its
# user, made by 'cmake --build build-win64 --target package'.
math(EXPR bits "${CMAKE_SIZEOF_VOID_P} * 8")
# Notepad of older Windows shows a file of bare line feeds as one line.
file(READ ${CMAKE_CURRENT_LIST_DIR}/windows-README.txt readme)
string(REPLACE "\n" "\r\n" readme "${readme}")
file(WRITE ${PROJECT_BINARY_DIR}/README.txt "${readme}")
install(TARGETS harnow RUNTIME DESTINATION .)
install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME harnow-${PROJECT_VERSION}-win${bits})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)
