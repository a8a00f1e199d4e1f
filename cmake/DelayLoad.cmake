# Delay-import libraries for the system DLLs that Windows does not protect as
# known DLLs. Imported the usual way, the loader would look for them in the
# exe's own folder first, before any of our code runs; delay-loaded, they are
# loaded on first use, after the search has been restricted to the system
# folder.
set(INSTALLER_DELAY_LOADED comctl32 netapi32 wintrust crypt32 urlmon wininet)
set(INSTALLER_DELAY_LIBRARIES)
set(INSTALLER_DELAY_LINK_OPTIONS)
foreach(dll ${INSTALLER_DELAY_LOADED})
    set(definition ${CMAKE_SOURCE_DIR}/cmake/delayload/${dll}.def)
    set(library ${CMAKE_BINARY_DIR}/delayload/lib${dll}_delay.a)
    # The definitions name the i686 stdcall symbols (Name@N). On x86_64 there
    # is one calling convention and symbols carry neither the @N nor the
    # leading underscore, so the build writes an undecorated copy.
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        file(READ ${definition} text)
        string(REGEX REPLACE "@[0-9]+" "" text "${text}")
        set(definition ${CMAKE_BINARY_DIR}/delayload/${dll}.def)
        file(WRITE ${definition} "${text}")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/delayload/${dll}.def)
        set(symbol_prefix "")
    else()
        set(symbol_prefix "_")
    endif()
    # --kill-at: the DLLs export undecorated names for these stdcall functions.
    add_custom_command(OUTPUT ${library}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delayload
        COMMAND ${CMAKE_DLLTOOL} --input-def ${definition} --output-delaylib ${library} --dllname ${dll}.dll --kill-at
        DEPENDS ${definition}
        VERBATIM)
    list(APPEND INSTALLER_DELAY_LIBRARIES ${library})
    # ld keeps a delay-import's loading stub only when a symbol of its own is
    # asked for; calls made through the headers' dllimport declarations name
    # only the table slot, whose stub would be dropped and the slot left null.
    file(STRINGS ${definition} functions REGEX "^[A-Za-z]")
    list(FILTER functions EXCLUDE REGEX "^(LIBRARY|EXPORTS)")
    foreach(function ${functions})
        list(APPEND INSTALLER_DELAY_LINK_OPTIONS "LINKER:-u,${symbol_prefix}${function}")
    endforeach()
endforeach()
add_custom_target(delay_import_libraries DEPENDS ${INSTALLER_DELAY_LIBRARIES})
