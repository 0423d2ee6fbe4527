# Strips of pixels: the frame and the DDP packets are core (no network);
# the sender is a module, libchromola_ddp.so beside the program, that the
# player loads (lights/strip_output.cpp) only when a strip is switched on.
target_sources(chromola_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/../display/band_levels.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ddp_packet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/strip_frame.cpp
  ${CMAKE_CURRENT_LIST_DIR}/strip_output.cpp
)
add_library(chromola_ddp STATIC ${CMAKE_CURRENT_LIST_DIR}/ddp_lights.cpp)
target_link_libraries(chromola_ddp PUBLIC chromola_core Threads::Threads)
add_library(chromola_ddp_module MODULE ${CMAKE_CURRENT_LIST_DIR}/ddp_module.cpp)
target_link_libraries(chromola_ddp_module PRIVATE chromola_ddp)
set_target_properties(chromola_ddp_module PROPERTIES
  OUTPUT_NAME chromola_ddp PREFIX lib CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
target_link_options(chromola_ddp_module PRIVATE -Wl,--exclude-libs,ALL -Wl,--no-undefined -Wl,--as-needed)
add_dependencies(Chromola chromola_ddp_module)
install(TARGETS chromola_ddp_module LIBRARY DESTINATION ${CHROMOLA_INSTALL_DIR})
