# The transfer engine moves its bytes with libcurl and ships its own English
# window titles (QNLowNetwork_en.ts, added with the framework's other tables in
# QNEnhancer.cmake).
target_link_libraries(QNEnhancer PRIVATE CURL::libcurl)
