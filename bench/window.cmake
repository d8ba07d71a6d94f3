# Start-up time and memory of TamoZP and TamoClock against bare Qt windows (bench_startup), and
# the README's screenshots. Not tests.
if(TARGET TamoZP AND TARGET TamoClock)
  add_library(first_paint_probe MODULE first_paint_probe.cpp)
  target_link_libraries(first_paint_probe PRIVATE Qt6::Widgets)
  add_executable(bare_window bare_window.cpp)
  target_link_libraries(bare_window PRIVATE Qt6::Widgets)
  add_executable(bench_startup startup.cpp)
  target_compile_definitions(bench_startup PRIVATE
    TAMOZP_PATH="$<TARGET_FILE:TamoZP>" TAMOCLOCK_PATH="$<TARGET_FILE:TamoClock>"
    BARE_PATH="$<TARGET_FILE:bare_window>" PROBE_PATH="$<TARGET_FILE:first_paint_probe>")
  add_dependencies(bench_startup TamoZP TamoClock bare_window first_paint_probe)

  # make screenshot: docs/TamoZP.png, drawn with Qt Test's input helpers, and docs/TamoClock.png.
  if(TARGET Qt6::Test)
    add_executable(tamozp_screenshot screenshot.cpp)
    target_link_libraries(tamozp_screenshot PRIVATE zpwindow Qt6::Test)
    add_executable(tamoclock_screenshot clock_screenshot.cpp)
    target_link_libraries(tamoclock_screenshot PRIVATE deskclock Qt6::Test)
  endif()
endif()
