# The Windows program: the Win32 layer, the entry, the resources, and the
# portable folder dist/Snapwick that a user copies anywhere.
enable_language(RC)

file(GLOB SNAPWICK_WIN32_SOURCES CONFIGURE_DEPENDS src/platform/win32/*.cpp src/app/*_win.cpp)
list(FILTER SNAPWICK_WIN32_SOURCES EXCLUDE REGEX "main_win\\.cpp$")
add_library(snapwick_win32 STATIC ${SNAPWICK_WIN32_SOURCES})
target_link_libraries(snapwick_win32 PUBLIC snapwick_core gdiplus ole32 comctl32 winmm shell32 user32 gdi32 psapi)
target_include_directories(snapwick_win32 PRIVATE res)
target_compile_definitions(snapwick_win32 PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)

add_link_options(-static -static-libgcc -static-libstdc++)

add_executable(snapwick WIN32 src/app/main_win.cpp res/app.rc)
target_link_libraries(snapwick PRIVATE snapwick_win32)
target_link_options(snapwick PRIVATE -municode)

set(SNAPWICK_DIST ${CMAKE_SOURCE_DIR}/dist/Snapwick)
add_custom_command(TARGET snapwick POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${SNAPWICK_DIST}/wav
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:snapwick> ${SNAPWICK_DIST}/snapwick.exe
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/res/wav/1.wav ${CMAKE_SOURCE_DIR}/res/wav/2.wav ${SNAPWICK_DIST}/wav/
  COMMENT "Laying out dist/Snapwick")
