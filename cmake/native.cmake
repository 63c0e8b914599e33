# Native build: the fake platform, the unit tests and the station simulator.
add_library(platform_fake OBJECT
    src/platform/fake/fake_platform.cpp
    src/platform/fake/fake_world.cpp)
add_dependencies(platform_fake generated_texts)
target_include_directories(platform_fake PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/resources
    ${GENERATED_DIR})

enable_testing()
add_subdirectory(tests)
option(BUILD_STATION_SIM "Build the station simulator" ON)
if(BUILD_STATION_SIM)
    add_subdirectory(tools/station-sim)
endif()
