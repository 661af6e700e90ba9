# SPDX-License-Identifier: MIT
# Text summarisation: ICU sentence and word breaks, extractive ranking.
target_sources(QNPlatform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/TextSummary.cpp)
target_link_libraries(QNPlatform PRIVATE ICU::uc ICU::i18n)
