# Runs the artwork generator into OUTPUT_DIR and fails unless every image it
# writes is byte for byte the committed one in REFERENCE_DIR.

set(images about sticker help panel tape knob lamp switch_head pad switch_motor roller)

file(REMOVE_RECURSE "${OUTPUT_DIR}")
file(MAKE_DIRECTORY "${OUTPUT_DIR}")

execute_process(COMMAND "${GENERATOR}" "${OUTPUT_DIR}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "artwork generator failed: ${result}")
endif()

set(mismatches "")
foreach(name IN LISTS images)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
                            "${OUTPUT_DIR}/${name}.png" "${REFERENCE_DIR}/${name}.png"
                    RESULT_VARIABLE differs)
    if(NOT differs EQUAL 0)
        list(APPEND mismatches "${name}.png")
    endif()
endforeach()

if(mismatches)
    message(FATAL_ERROR "generated artwork differs from resources/: ${mismatches}")
endif()
list(LENGTH images count)
message(STATUS "all ${count} images match resources/")
