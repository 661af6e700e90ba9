# SPDX-License-Identifier: MIT
# Blowfish comes from libcrypto's low-level interface, deprecated in OpenSSL 3.
target_link_libraries(QNEnhancer PRIVATE OpenSSL::Crypto)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/QNCrypto.cpp PROPERTIES
  COMPILE_DEFINITIONS "OPENSSL_API_COMPAT=0x10101000L")
