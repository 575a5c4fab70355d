# Installs the built plug-ins for the current user, where hosts look in the
# home directory: VST 2 plug-ins into ~/.vst, VST 3 bundles into ~/.vst3 and
# their preset files into ~/.vst3/presets, LV2 bundles into ~/.lv2, CLAP
# plug-ins into ~/.clap.
#   cmake -DBUILD_DIR=build/default [-DCONFIG=RelWithDebInfo] -P cmake/InstallUser.cmake
# It runs the project's own install rules (stripped, as the packages are) into
# a stage inside the build tree and copies the plug-in folders from there, so
# every plug-in format with an install rule comes along.
if(NOT BUILD_DIR)
  message(FATAL_ERROR "BUILD_DIR is not set")
endif()
if(NOT DEFINED ENV{HOME} OR "$ENV{HOME}" STREQUAL "")
  message(FATAL_ERROR "HOME is not set: no home folder to install into")
endif()

set(stage ${BUILD_DIR}/user-install-stage)
file(REMOVE_RECURSE ${stage})
set(configArgs)
if(CONFIG)
  set(configArgs --config ${CONFIG})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${stage} --strip ${configArgs}
                OUTPUT_QUIET RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the staged install into ${stage} failed")
endif()

set(installed 0)
foreach(format IN ITEMS vst vst3 lv2 clap)
  file(GLOB plugins LIST_DIRECTORIES true ${stage}/lib/${format}/*)
  set(target $ENV{HOME}/.${format})
  foreach(plugin IN LISTS plugins)
    get_filename_component(name ${plugin} NAME)
    # A bundle is replaced whole: files left over from an older version would
    # still be read by the host.
    file(REMOVE_RECURSE ${target}/${name})
    file(MAKE_DIRECTORY ${target})
    file(COPY ${plugin} DESTINATION ${target})
    message(STATUS "Installed ${target}/${name}")
    math(EXPR installed "${installed} + 1")
  endforeach()
endforeach()
# VST 3 preset files: <vendor>/<plug-in name>/ under ~/.vst3/presets, each
# plug-in's folder replaced whole, so a preset since renamed does not linger.
file(GLOB vendors LIST_DIRECTORIES true ${stage}/share/vst3/presets/*)
foreach(vendor IN LISTS vendors)
  get_filename_component(vendorName ${vendor} NAME)
  file(GLOB presetFolders LIST_DIRECTORIES true ${vendor}/*)
  foreach(folder IN LISTS presetFolders)
    get_filename_component(name ${folder} NAME)
    set(target $ENV{HOME}/.vst3/presets/${vendorName})
    file(REMOVE_RECURSE "${target}/${name}")
    file(MAKE_DIRECTORY ${target})
    file(COPY ${folder} DESTINATION ${target})
    message(STATUS "Installed ${target}/${name}")
  endforeach()
endforeach()
file(REMOVE_RECURSE ${stage})
if(installed EQUAL 0)
  message(FATAL_ERROR "the install rules put no plug-in into lib/vst, lib/vst3, lib/lv2 or lib/clap")
endif()
