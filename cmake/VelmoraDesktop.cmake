# The desktop program's pictures and the installation.
#
# velmora_desktop_resources(TARGET) has the generator paint the start picture and the icons
# (assetgen --desktop) into the calling folder's build folder and builds them into TARGET as Qt
# resources ":/Background.jpg" and ":/velmora-<n>.png".
#
# velmora_install_programs() (called once, at the end of the top-level CMakeLists.txt) installs
# the programs with their "Data" folder under lib/velmora, links to them in bin, and the desktop
# entry, the icons and the file types under share.

set(VELMORA_ICON_SIZES 16 32 48 64 128 256)
set(VELMORA_DESKTOP_FILES Background.jpg)
foreach(size IN LISTS VELMORA_ICON_SIZES)
  list(APPEND VELMORA_DESKTOP_FILES velmora-${size}.png)
endforeach()

# Adds the command that writes the desktop files into FOLDER (of the calling directory) and sets
# OUT_VAR to their full paths.
function(_velmora_desktop_files FOLDER OUT_VAR)
  set(files)
  foreach(name IN LISTS VELMORA_DESKTOP_FILES)
    list(APPEND files ${FOLDER}/${name})
  endforeach()
  add_custom_command(OUTPUT ${files}
    COMMAND $<TARGET_FILE:assetgen> --desktop ${FOLDER}
    DEPENDS assetgen
    COMMENT "Painting the start picture and the icons into ${FOLDER}"
    VERBATIM)
  set_source_files_properties(${files} PROPERTIES GENERATED TRUE)
  set(${OUT_VAR} ${files} PARENT_SCOPE)
endfunction()

function(velmora_desktop_resources TARGET)
  if(NOT TARGET ${TARGET})
    message(FATAL_ERROR "velmora_desktop_resources: no target ${TARGET}")
  endif()
  if(NOT COMMAND qt_add_resources)
    find_package(Qt6 REQUIRED COMPONENTS Core)
  endif()
  set(folder ${CMAKE_CURRENT_BINARY_DIR}/desktop-resources)
  _velmora_desktop_files(${folder} files)
  get_target_property(type ${TARGET} TYPE)
  if(NOT type STREQUAL "STATIC_LIBRARY")
    # Qt 6.4 lists the files in its resource file at configure time and runs rcc again when one
    # of them changes, so files made by a custom command of this folder are fine.
    qt_add_resources(${TARGET} "desktop" PREFIX "/" BASE ${folder} FILES ${files})
  else()
    # For a static library Qt 6.4 puts the resources into an object library whose link
    # interface names Qt's own imported targets, which folders that never looked Qt up (tests/)
    # cannot resolve. The resource file is compiled here instead and its object handed to every
    # program that links the library (as a source, so its start-up registration is never dropped).
    set(qrc "<RCC>\n  <qresource prefix=\"/\">\n")
    foreach(name IN LISTS VELMORA_DESKTOP_FILES)
      string(APPEND qrc "    <file>${name}</file>\n")
    endforeach()
    string(APPEND qrc "  </qresource>\n</RCC>\n")
    file(CONFIGURE OUTPUT ${folder}/desktop.qrc CONTENT "${qrc}" @ONLY)
    qt6_add_resources(rcc_sources ${folder}/desktop.qrc)
    set(objects ${TARGET}_desktop_resources)
    add_library(${objects} OBJECT ${rcc_sources})
    set_target_properties(${objects} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
    target_link_libraries(${objects} PRIVATE Qt6::Core)
    target_sources(${TARGET} INTERFACE $<TARGET_OBJECTS:${objects}>)
    add_dependencies(${TARGET} ${objects})
  endif()
  # The installation takes the icons from here instead of painting them a second time.
  set_property(GLOBAL PROPERTY VELMORA_DESKTOP_FOLDER ${folder})
endfunction()

# The folder whose pictures the installation takes: the desktop program's resources once
# velmora_desktop_resources ran, else a folder painted for the installation alone.
function(velmora_desktop_folder OUT_VAR)
  get_property(folder GLOBAL PROPERTY VELMORA_DESKTOP_FOLDER)
  if(NOT folder)
    set(folder ${CMAKE_BINARY_DIR}/desktop-install)
  endif()
  set(${OUT_VAR} ${folder} PARENT_SCOPE)
endfunction()

# A symbolic link bin/NAME -> ../lib/velmora/NAME, relative so the installed tree can be moved.
function(_velmora_install_link NAME)
  install(CODE "
    set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
    file(MAKE_DIRECTORY \"\${bin}\")
    file(REMOVE \"\${bin}/${NAME}\")
    file(CREATE_LINK \"../lib/velmora/${NAME}\" \"\${bin}/${NAME}\" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${bin}/${NAME}\")
    message(STATUS \"Installing: \${bin}/${NAME} -> ../lib/velmora/${NAME}\")")
endfunction()

function(velmora_install_programs)
  # The programs find "Data" beside their real executable (/proc/self/exe names it with every
  # link resolved), so the links in bin need nothing else.
  set(programs velmora-cli)
  if(TARGET velmora)
    get_target_property(type velmora TYPE)
    if(type STREQUAL "EXECUTABLE")
      list(APPEND programs velmora)
    endif()
  endif()
  install(TARGETS ${programs} RUNTIME DESTINATION lib/velmora)
  foreach(program IN LISTS programs)
    _velmora_install_link(${program})
  endforeach()

  # The base packages and the sample layouts, as the generator wrote them for the build.
  install(FILES ${VELMORA_CLI_DATA_DIR}/Basiskatalog.vma ${VELMORA_CLI_DATA_DIR}/Basisdaten.vma
    DESTINATION lib/velmora/Data)
  install(DIRECTORY ${VELMORA_CLI_DATA_DIR}/Beispielanlagen DESTINATION lib/velmora/Data
    FILES_MATCHING PATTERN "*.vmp")

  # Icons: from the desktop program's resources when it has them, else painted for the
  # installation alone.
  get_property(resources GLOBAL PROPERTY VELMORA_DESKTOP_FOLDER)
  velmora_desktop_folder(folder)
  if(NOT resources)
    _velmora_desktop_files(${folder} files)
    add_custom_target(desktop_install_files ALL DEPENDS ${files})
  endif()
  foreach(size IN LISTS VELMORA_ICON_SIZES)
    install(FILES ${folder}/velmora-${size}.png DESTINATION share/icons/hicolor/${size}x${size}/apps
      RENAME velmora.png)
  endforeach()
  install(FILES ${CMAKE_SOURCE_DIR}/data/desktop/velmora.desktop DESTINATION share/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/data/desktop/velmora.xml DESTINATION share/mime/packages)
endfunction()
