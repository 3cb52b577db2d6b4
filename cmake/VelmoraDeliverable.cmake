# velmora_deliverable(TARGET PLATFORM lib...)
#
# A deliverable sees the platform only through host/ (and the header-only
# helpers of util/): it links the stand-in
# libraries, as on a device it links the system frameworks, the widget host
# and the IPC library, but takes none of their headers. LINK_ONLY keeps their
# include directories off its compile line, so including a stand-in's header
# from a deliverable fails to compile (tests/boundary proves it).
function(velmora_deliverable target)
  cmake_parse_arguments(D "" "" "PLATFORM" ${ARGN})
  target_link_libraries(${target} PRIVATE host util)
  foreach(lib IN LISTS D_PLATFORM)
    target_link_libraries(${target} PRIVATE $<LINK_ONLY:${lib}>)
  endforeach()
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
endfunction()
