# Strips of pixels: the frame and the DDP packets are core (no network).
target_sources(chromola_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/../display/band_levels.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ddp_packet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/strip_frame.cpp
)
