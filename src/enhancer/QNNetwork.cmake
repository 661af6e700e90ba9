# SPDX-License-Identifier: MIT
# The HTTP client needs Qt Network.
target_link_libraries(QNEnhancer PUBLIC Qt6::Network)
