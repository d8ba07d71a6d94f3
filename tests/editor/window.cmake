# The settings window's tests, with the TamoZP program they start. Included from
# tests/editor/CMakeLists.txt.
if(TARGET zpwindow)
  tamo_add_folder_tests(qtest zpwindow)
  target_compile_definitions(zpwindow_qtest PRIVATE TAMOZP_PATH="$<TARGET_FILE:TamoZP>")
  add_dependencies(zpwindow_qtest TamoZP)
endif()
