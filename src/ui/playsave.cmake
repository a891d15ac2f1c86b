# The Play command's playback through the desktop's sound server and the
# Save dialog, as a library the main window links.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse)

add_library(vantel_playsave STATIC
  ${CMAKE_CURRENT_LIST_DIR}/wav_player.cpp
  ${CMAKE_CURRENT_LIST_DIR}/play_and_wait.cpp
  ${CMAKE_CURRENT_LIST_DIR}/save_wav_file.cpp
)
set_target_properties(vantel_playsave PROPERTIES AUTOMOC ON)
target_include_directories(vantel_playsave PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(vantel_playsave
  PUBLIC vantel_engine Qt6::Widgets
  PRIVATE PkgConfig::PULSE Threads::Threads)
