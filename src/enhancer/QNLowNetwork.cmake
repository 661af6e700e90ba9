# The transfer engine moves its bytes with libcurl and ships its own English
# window titles.
target_link_libraries(QNEnhancer PRIVATE CURL::libcurl)
qt_add_translations(QNEnhancer TS_FILES ${CMAKE_CURRENT_LIST_DIR}/QNLowNetwork_en.ts
  LRELEASE_OPTIONS -idbased)
