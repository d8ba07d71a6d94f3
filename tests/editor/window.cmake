# The settings window's tests. Included from tests/editor/CMakeLists.txt.
if(TARGET zpwindow)
  tamo_add_folder_tests(qtest zpwindow)
  target_compile_definitions(tamozp_process_qtest PRIVATE TAMOZP_PATH="$<TARGET_FILE:TamoZP>")
  add_dependencies(tamozp_process_qtest TamoZP)
endif()
