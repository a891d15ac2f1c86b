# Tests of the Save dialog and of playback. They drive real widgets on the
# offscreen platform; playback runs beside a private PulseAudio daemon with a
# null sink, started for the test by scripts/with-pulseaudio.sh.
find_package(Qt6 REQUIRED COMPONENTS Test Widgets)

add_executable(save_dialog_tests ${CMAKE_CURRENT_LIST_DIR}/save_dialog_test.cpp)
set_target_properties(save_dialog_tests PROPERTIES AUTOMOC ON)
target_link_libraries(save_dialog_tests PRIVATE vantel_playsave Qt6::Test)
add_test(NAME save_dialog_tests COMMAND save_dialog_tests)
set_tests_properties(save_dialog_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)

add_executable(playback_tests ${CMAKE_CURRENT_LIST_DIR}/playback_test.cpp)
set_target_properties(playback_tests PROPERTIES AUTOMOC ON)
target_link_libraries(playback_tests PRIVATE vantel_playsave Qt6::Test)
add_test(NAME playback_tests
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/with-pulseaudio.sh $<TARGET_FILE:playback_tests>)
set_tests_properties(playback_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
