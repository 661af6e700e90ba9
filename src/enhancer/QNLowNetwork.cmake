# SPDX-License-Identifier: MIT
# The transfer engine moves its bytes with libcurl.
target_link_libraries(QNEnhancer PRIVATE CURL::libcurl)
# Easy and multi handles as distinct types, so they cannot be mixed up.
target_compile_definitions(QNEnhancer PRIVATE CURL_STRICTER)
