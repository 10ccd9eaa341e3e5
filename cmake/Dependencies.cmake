# Libraries the engine links; each is looked up only when a folder that needs it has sources.
find_package(Threads REQUIRED)
target_link_libraries(vcv_engine PUBLIC Threads::Threads)
