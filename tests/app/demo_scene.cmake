# The program's scene on a NULLREF device in a real window (see demo_scene.h), shared by the
# tests and the benchmarks: whichever of them is configured first defines it.
if(NOT TARGET demo_scene)
  add_library(demo_scene STATIC ${CMAKE_CURRENT_LIST_DIR}/demo_scene.cpp)
  target_link_libraries(demo_scene PUBLIC tavrok_app dinput8 d3d9)
  target_include_directories(demo_scene PUBLIC ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(demo_scene PRIVATE TAVROK_TEST_BIN_DIR="${TAVROK_BIN_DIR}")
  add_dependencies(demo_scene tavrok_data)
  tavrok_warnings(demo_scene)
endif()
