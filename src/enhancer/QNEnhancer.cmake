# The framework's string tables (error texts, transfer window titles), each
# embedded as :/i18n/<table>_en.qm. One call for all of them: a second call on
# the same target would define its lupdate target twice.
qt_add_translations(QNEnhancer TS_FILES
  ${CMAKE_CURRENT_LIST_DIR}/QNEnhancer_en.ts
  ${CMAKE_CURRENT_LIST_DIR}/QNLowNetwork_en.ts
  LRELEASE_OPTIONS -idbased)
