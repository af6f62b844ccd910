# PNG and FLAC carrier codecs (no Qt): decode into memory, apply the format
# engine's changes, encode again losslessly. libpng and libFLAC stay private.
find_package(PNG REQUIRED)
pkg_check_modules(FLAC REQUIRED IMPORTED_TARGET flac)
add_library(kalmira_carrier_codecs STATIC
  ${CMAKE_CURRENT_LIST_DIR}/codec_common.h ${CMAKE_CURRENT_LIST_DIR}/codec_io.cpp
  ${CMAKE_CURRENT_LIST_DIR}/png_file.h ${CMAKE_CURRENT_LIST_DIR}/png_chunks.h
  ${CMAKE_CURRENT_LIST_DIR}/png_chunks.cpp ${CMAKE_CURRENT_LIST_DIR}/png_internal.h
  ${CMAKE_CURRENT_LIST_DIR}/png_compression.cpp ${CMAKE_CURRENT_LIST_DIR}/png_read.cpp
  ${CMAKE_CURRENT_LIST_DIR}/png_write.cpp ${CMAKE_CURRENT_LIST_DIR}/png_pixels.cpp
  ${CMAKE_CURRENT_LIST_DIR}/flac_file.h ${CMAKE_CURRENT_LIST_DIR}/flac_metadata.h
  ${CMAKE_CURRENT_LIST_DIR}/flac_metadata.cpp ${CMAKE_CURRENT_LIST_DIR}/flac_read.cpp
  ${CMAKE_CURRENT_LIST_DIR}/flac_write.cpp
  ${CMAKE_CURRENT_LIST_DIR}/whole_file.h ${CMAKE_CURRENT_LIST_DIR}/whole_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/png_elements.h ${CMAKE_CURRENT_LIST_DIR}/png_elements.cpp
  ${CMAKE_CURRENT_LIST_DIR}/flac_elements.h ${CMAKE_CURRENT_LIST_DIR}/flac_elements.cpp)
target_link_libraries(kalmira_carrier_codecs PUBLIC kalmira_platform
  PRIVATE PNG::PNG PkgConfig::FLAC ZLIB::ZLIB)
