# Delay-import libraries for the system DLLs that Windows does not protect as
# known DLLs. Imported the usual way, the loader would look for them in the
# exe's own folder first, before any of our code runs; delay-loaded, they are
# loaded on first use, after the search has been restricted to the system
# folder.
set(INSTALLER_DELAY_LOADED comctl32 netapi32 wintrust crypt32)
set(INSTALLER_DELAY_LIBRARIES)
set(INSTALLER_DELAY_LINK_OPTIONS)
foreach(dll ${INSTALLER_DELAY_LOADED})
    set(library ${CMAKE_BINARY_DIR}/delayload/lib${dll}_delay.a)
    # --kill-at: the DLLs export undecorated names for these stdcall functions.
    add_custom_command(OUTPUT ${library}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delayload
        COMMAND ${CMAKE_DLLTOOL} --input-def ${CMAKE_SOURCE_DIR}/cmake/delayload/${dll}.def
            --output-delaylib ${library} --dllname ${dll}.dll --kill-at
        DEPENDS ${CMAKE_SOURCE_DIR}/cmake/delayload/${dll}.def
        VERBATIM)
    list(APPEND INSTALLER_DELAY_LIBRARIES ${library})
    # ld keeps a delay-import's loading stub only when a symbol of its own is
    # asked for; calls made through the headers' dllimport declarations name
    # only the table slot, whose stub would be dropped and the slot left null.
    file(STRINGS ${CMAKE_SOURCE_DIR}/cmake/delayload/${dll}.def functions REGEX "@[0-9]+$")
    foreach(function ${functions})
        list(APPEND INSTALLER_DELAY_LINK_OPTIONS "LINKER:-u,_${function}")
    endforeach()
endforeach()
add_custom_target(delay_import_libraries DEPENDS ${INSTALLER_DELAY_LIBRARIES})
