# SPDX-License-Identifier: MIT
# The transfer engine moves its bytes with libcurl.
target_link_libraries(QNEnhancer PRIVATE CURL::libcurl)
