# What the Windows installer and the portable ZIP hold: both programs, the Qt
# libraries and plugins they load, and the MinGW runtime, all in one folder
# (the host's windeployqt cannot deploy a cross build).
get_target_property(qt_core Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(qt_bin ${qt_core} DIRECTORY)
get_filename_component(qt_root ${qt_bin} DIRECTORY)
install(FILES ${qt_bin}/Qt6Core.dll ${qt_bin}/Qt6Gui.dll ${qt_bin}/Qt6Widgets.dll ${qt_bin}/Qt6Concurrent.dll
        DESTINATION .)
install(FILES ${qt_root}/plugins/platforms/qwindows.dll DESTINATION platforms)
install(FILES ${qt_root}/plugins/styles/qwindowsvistastyle.dll DESTINATION styles)
# Qt's own texts (its dialogs' buttons) in the languages the window speaks:
# the host's files, which serve every system; the window finds them beside it.
foreach(language de)
  find_file(qt_translation_${language} qtbase_${language}.qm PATHS /usr/share/qt6/translations
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(qt_translation_${language})
    install(FILES ${qt_translation_${language}} DESTINATION translations)
  endif()
endforeach()

# The runtime of the -posix MinGW compiler.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_seh-1.dll
                OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
find_file(libwinpthread libwinpthread-1.dll PATHS /usr/${ORVANE_MINGW}/lib NO_DEFAULT_PATH REQUIRED)
install(FILES ${libstdcxx} ${libgcc} ${libwinpthread} DESTINATION .)
# They come with their symbols (23 MB for libstdc++ alone).
install(CODE "foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${dll}\")
  endforeach()")
install(FILES copyright DESTINATION . RENAME copyright.txt)

set(CPACK_GENERATOR NSIS ZIP)
# One folder with everything: the programs need each other's libraries.
set(CPACK_MONOLITHIC_INSTALL ON)
set(CPACK_PACKAGE_NAME orvane-manager)
set(CPACK_PACKAGE_VENDOR Velqor)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Finds and configures Velqor Orvane sensor heads")
set(CPACK_PACKAGE_FILE_NAME orvane-manager-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Orvane Manager")
set(CPACK_STRIP_FILES ON)
set(CPACK_NSIS_DISPLAY_NAME "Orvane Manager")
set(CPACK_NSIS_PACKAGE_NAME "Orvane Manager")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/src/ui/resources/velqor_icon.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/src/ui/resources/velqor_icon.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME orvane-manager.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_PACKAGE_EXECUTABLES orvane-manager "Orvane Manager")
include(CPack)
