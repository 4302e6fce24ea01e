# The Win32 shell, the program Torvo.exe, the stand-ins of the suite's
# libraries (hiddriver.dll, lan.dll), the virtual keyboard's console and the
# program folder dist/. Included by the top-level CMakeLists.txt for Windows.
set(TORVO_DIST ${CMAKE_BINARY_DIR}/dist)

# The program folder holds stripped binaries: Wine copies the whole image of
# a program or library into memory when it loads it, so the DWARF sections of
# a -g build (several MiB) would stay resident for the life of the process.
# With MinGW, each one's debug information and symbol table move to
# build/<preset>/debug/<file>.debug, and the binary keeps a .gnu_debuglink
# naming that file (with its CRC), by which debuggers load it when it sits
# beside the binary or in its .debug folder.
# MSVC keeps its debug information in .pdb files beside the build already.
set(TORVO_DEBUG_DIR ${CMAKE_BINARY_DIR}/debug)
function(torvo_split_debug_info target)
  if(NOT MSVC AND CMAKE_OBJCOPY)
    set(debug_file ${TORVO_DEBUG_DIR}/$<TARGET_FILE_NAME:${target}>.debug)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E make_directory ${TORVO_DEBUG_DIR}
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> ${debug_file}
      COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${debug_file} $<TARGET_FILE:${target}>
      COMMENT "Moving the debug information of $<TARGET_FILE_NAME:${target}> out of the program folder"
      VERBATIM)
  endif()
endfunction()
set(TORVO_SHELL_SOURCES ${TORVO_ALL_SOURCES})
list(FILTER TORVO_SHELL_SOURCES INCLUDE REGEX "/win32/|_win32\\.cpp$")
list(FILTER TORVO_SHELL_SOURCES EXCLUDE REGEX "/main_win32\\.cpp$")
add_library(torvo_shell STATIC ${TORVO_SHELL_SOURCES})
target_link_libraries(torvo_shell PUBLIC torvo_core PRIVATE torvo_warnings)
target_link_libraries(torvo_shell PUBLIC gdiplus comctl32 shell32 ole32 oleaut32 user32 gdi32 msimg32 uuid advapi32)

add_executable(Torvo WIN32 ${CMAKE_SOURCE_DIR}/src/app/win32/main_win32.cpp
                           ${CMAKE_SOURCE_DIR}/src/app/win32/torvo.rc)
target_link_libraries(Torvo PRIVATE torvo_shell torvo_warnings)
if(MINGW)
  # Sections aligned to pages in the file: Wine then maps the image instead of
  # copying it into private memory.
  target_link_options(Torvo PRIVATE -municode -Wl,--file-alignment,4096)
else()
  target_link_options(Torvo PRIVATE /MANIFEST:NO)  # torvo.rc carries the manifest
endif()
set_target_properties(Torvo PROPERTIES OUTPUT_NAME Torvo RUNTIME_OUTPUT_DIRECTORY ${TORVO_DIST})
torvo_split_debug_info(Torvo)


# hiddriver.dll: the virtual keyboard, plain C exports, undecorated.
file(GLOB TORVO_VKB_DLL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/standins/hiddriver/dll/*.cpp)
add_library(hiddriver SHARED ${TORVO_VKB_DLL_SOURCES} ${CMAKE_SOURCE_DIR}/standins/hiddriver/dll/hiddriver.def)
target_link_libraries(hiddriver PRIVATE torvo_vkb_core torvo_warnings user32)
if(MINGW)
  target_link_options(hiddriver PRIVATE -Wl,--kill-at -Wl,--file-alignment,4096)
endif()
set_target_properties(hiddriver PROPERTIES PREFIX "" OUTPUT_NAME hiddriver RUNTIME_OUTPUT_DIRECTORY ${TORVO_DIST})
torvo_split_debug_info(hiddriver)

# The virtual keyboard's controller: a client library (tests) and a console (scripts/run).
file(GLOB TORVO_VKB_CLIENT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/standins/hiddriver/client/*.cpp)
add_library(torvo_vkb_client STATIC ${TORVO_VKB_CLIENT_SOURCES} ${CMAKE_SOURCE_DIR}/standins/hiddriver/dll/hiddriver.def)
set_target_properties(torvo_vkb_client PROPERTIES LINKER_LANGUAGE CXX)
target_include_directories(torvo_vkb_client PUBLIC ${CMAKE_SOURCE_DIR}/standins)
target_link_libraries(torvo_vkb_client PUBLIC torvo_vkb_core user32 PRIVATE torvo_warnings)
file(GLOB TORVO_VKB_CONSOLE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/standins/hiddriver/console/*.cpp)
if(TORVO_VKB_CONSOLE_SOURCES)
  add_executable(vkbctl ${TORVO_VKB_CONSOLE_SOURCES})
  target_link_libraries(vkbctl PRIVATE torvo_vkb_client torvo_warnings)
  if(MINGW)
    target_link_options(vkbctl PRIVATE -municode)
  endif()
  set_target_properties(vkbctl PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
endif()

# lan.dll: resource-only language library.
add_library(lan SHARED ${CMAKE_SOURCE_DIR}/standins/lan/lan.rc ${CMAKE_SOURCE_DIR}/standins/lan/lan_entry.c)
set_target_properties(lan PROPERTIES PREFIX "" OUTPUT_NAME lan RUNTIME_OUTPUT_DIRECTORY ${TORVO_DIST})
if(MSVC)
  target_link_options(lan PRIVATE /NOENTRY)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(lan PRIVATE -nostdlib -Wl,-e,_LanEntry@12)
else()
  target_link_options(lan PRIVATE -nostdlib -Wl,-e,LanEntry)
endif()
target_link_libraries(lan PRIVATE torvo_warnings)
torvo_split_debug_info(lan)

# The program folder's binaries are stripped and linked to their debug files.
if(MINGW AND CMAKE_OBJCOPY)
  find_package(Python3 COMPONENTS Interpreter)
  if(Python3_Interpreter_FOUND)
    add_test(NAME ProgramFolder.StrippedWithDebugLinks
             COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/scripts/tools/check_program_folder.py
                     ${TORVO_DIST} ${TORVO_DEBUG_DIR} Torvo.exe hiddriver.dll lan.dll
                     --without-streams Torvo.exe)
  endif()
endif()

add_custom_target(dist_skins ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TORVO_DIST}/skins
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/skins ${TORVO_DIST}/skins
  COMMENT "Copying the skin into the program folder")
