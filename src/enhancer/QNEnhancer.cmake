# The framework's own string table (error texts), embedded as :/i18n/QNEnhancer_en.qm.
qt_add_translations(QNEnhancer TS_FILES ${CMAKE_CURRENT_LIST_DIR}/QNEnhancer_en.ts
  LRELEASE_OPTIONS -idbased)
