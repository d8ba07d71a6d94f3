# The settings window's tests, and the tool that draws the window for the README. Included
# from tests/editor/CMakeLists.txt.
if(TARGET zpwindow)
  foreach(t zpwindow_qtest tamozp_process_qtest)
    tamo_add_qtest(${CMAKE_CURRENT_SOURCE_DIR}/${t}.cpp)
    target_link_libraries(${t} PRIVATE zpwindow)
    target_include_directories(${t} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  endforeach()
  target_compile_definitions(tamozp_process_qtest PRIVATE TAMOZP_PATH="$<TARGET_FILE:TamoZP>")
  add_dependencies(tamozp_process_qtest TamoZP)

  # make screenshot: docs/TamoZP.png. Not a test.
  add_executable(tamozp_screenshot screenshot.cpp)
  target_link_libraries(tamozp_screenshot PRIVATE zpwindow test_support Qt6::Test)
endif()
