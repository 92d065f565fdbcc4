# Every "<area>_<language>.ts" beside this file (panel, settings, shell, ...)
# is compiled into the bundle's Contents/Resources/translations, where
# AppTranslations finds them, and installed there.
find_package(Qt6 REQUIRED COMPONENTS LinguistTools)

file(GLOB staywake_ts_files CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/*_*.ts")
set(STAYWAKE_TRANSLATIONS_DIR "${STAYWAKE_BUNDLE_DIR}/Contents/Resources/translations")
set_source_files_properties(${staywake_ts_files} PROPERTIES OUTPUT_LOCATION "${STAYWAKE_TRANSLATIONS_DIR}")
qt_add_lrelease(StaywakeApp TS_FILES ${staywake_ts_files} QM_FILES_OUTPUT_VARIABLE staywake_qm_files
  OPTIONS -silent)
install(FILES ${staywake_qm_files} DESTINATION "${STAYWAKE_INSTALL_BUNDLE_DIR}/Contents/Resources/translations")
