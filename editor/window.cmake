# The settings window and TamoZP, the program users start. Qt Widgets; included from
# editor/CMakeLists.txt only when the window programs are built.
add_library(zpwindow STATIC
  frmMain.cpp frmMain.h Controls.cpp Controls.h Tokens.cpp Tokens.h)
target_link_libraries(zpwindow PUBLIC zpsettings engine guisupport Qt6::Widgets)

add_executable(TamoZP main.cpp)
target_link_libraries(TamoZP PRIVATE zpwindow)

install(TARGETS TamoZP RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES tamozp.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
